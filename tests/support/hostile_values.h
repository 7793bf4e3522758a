#pragma once
// Values that would end their SQL literal or HTML attribute, or start
// markup, if pasted in raw. Every layer that stores or shows values runs
// them through its operations and expects them back exactly.
#include <string>
#include <vector>

namespace tarvelin {

// SQL: quotes, statement separators, LIKE wildcards, parameter marks, and
// every byte 1..255 (last).
const std::vector<std::string>& HostileSqlValues();

// HTML: tags, attribute breakers, entities, and Windows-1252 letters.
const std::vector<std::string>& HostileMarkupValues();

}  // namespace tarvelin
