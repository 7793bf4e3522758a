#include "docs/doc_text.h"

#include <fstream>
#include <sstream>

namespace tarvelin {

namespace {
std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool IsTableLine(const std::string& line) { return Trim(line).starts_with("|"); }

// The text from the line after <!-- marker --> on; "" when there is no marker.
std::string AfterMarker(const std::string& text, const std::string& marker) {
  const auto at = text.find("<!-- " + marker + " -->");
  if (at == std::string::npos) return "";
  const auto lineEnd = text.find('\n', at);
  return lineEnd == std::string::npos ? "" : text.substr(lineEnd + 1);
}
}  // namespace

std::string ReadDocument(const std::string& name) {
  std::ifstream in(std::string(TARVELIN_SOURCE_DIR) + "/docs/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<TableRow> TableRows(const std::string& text) {
  std::vector<TableRow> rows;
  for (const std::string& line : Lines(text)) {
    if (!IsTableLine(line)) continue;
    std::string body = Trim(line).substr(1);
    if (!body.empty() && body.back() == '|') body.pop_back();
    TableRow cells;
    std::istringstream in(body);
    for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trim(cell));
    const bool separator = !cells.empty() && cells[0].find('-') != std::string::npos &&
                           cells[0].find_first_not_of("-:") == std::string::npos;
    if (!separator) rows.push_back(cells);
  }
  return rows;
}

std::string Unquoted(const std::string& cell) {
  if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') return cell.substr(1, cell.size() - 2);
  return cell;
}

std::vector<std::string> MarkedCodeBlock(const std::string& text, const std::string& marker) {
  std::vector<std::string> block;
  bool inside = false;
  for (const std::string& line : Lines(AfterMarker(text, marker))) {
    if (line.starts_with("```")) {
      if (inside) return block;
      inside = true;
    } else if (inside) {
      block.push_back(line);
    }
  }
  return {};
}

std::vector<TableRow> MarkedTable(const std::string& text, const std::string& marker) {
  std::string table;
  bool started = false;
  for (const std::string& line : Lines(AfterMarker(text, marker))) {
    if (IsTableLine(line)) {
      started = true;
      table += line + "\n";
    } else if (started || !Trim(line).empty()) {
      break;
    }
  }
  return TableRows(table);
}

}  // namespace tarvelin
