#pragma once
// Values placed into page text or attributes go through here, so a stored
// name such as <script>... shows as text and cannot end an attribute.
#include <string>

namespace tarvelin {

// & < > " ' as character references; every other byte unchanged.
std::string HtmlEscape(const std::string& text);

}  // namespace tarvelin
