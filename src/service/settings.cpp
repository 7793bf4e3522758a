#include "service/settings.h"

ServerSettingsRecord ServerSettings;
