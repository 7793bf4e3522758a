#pragma once
// The one way a value enters SQL text: between single quotes, with every
// quote inside it doubled, so no value can end its literal or start another
// statement. LIKE patterns go through here too; "%" and "_" keep their meaning.
#include <string>

std::string SqlQuote(const std::string& value);
