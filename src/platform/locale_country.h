#pragma once

namespace tarvelin {
// The country of the user's locale, where Windows had its regional settings.

// True when dates are written month first: the territory of the first of
// LC_ALL, LC_TIME and LANG that is set (as in "en_US.UTF-8") is "US".
bool UsesMonthFirstDates();

}  // namespace tarvelin
