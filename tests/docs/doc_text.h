#pragma once
// Reading the product documents under docs/ the way their tests need them:
// Markdown table rows as cells, and the blocks a document marks with an HTML
// comment (<!-- name -->) so that a test can find them.
#include <string>
#include <vector>

namespace tarvelin {

using TableRow = std::vector<std::string>;

// The text of docs/<name>; "" when it cannot be read.
std::string ReadDocument(const std::string& name);

// Every Markdown table row of `text` ("| a | b |"), cells trimmed, separator
// rows ("|---|") left out.
std::vector<TableRow> TableRows(const std::string& text);

// A cell's text without the backticks of inline code around it.
std::string Unquoted(const std::string& cell);

// The lines of the first fenced code block after <!-- marker -->, without the
// fences; empty when there is none.
std::vector<std::string> MarkedCodeBlock(const std::string& text, const std::string& marker);

// The rows of the first table after <!-- marker --> (header row included).
std::vector<TableRow> MarkedTable(const std::string& text, const std::string& marker);

}  // namespace tarvelin
