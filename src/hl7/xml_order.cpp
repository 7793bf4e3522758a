#include "hl7/xml_order.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "dicom/uid.h"
#include "hl7/stored_record.h"
#include "hl7/xml_text.h"
#include "platform/codepage.h"
#include "service/audit_trail.h"
#include "service/log.h"

namespace tarvelin {

namespace {

using Column = std::pair<const char*, std::string WorklistDB::*>;

constexpr std::array<Column, 16> kAttributes{{
    {"PatientsName", &WorklistDB::PatientName},
    {"PatientID", &WorklistDB::PatientID},
    {"PatientsBirthDate", &WorklistDB::PatientBD},
    {"PatientsSex", &WorklistDB::PatientSex},
    {"AccessionNumber", &WorklistDB::AccessionNumber},
    {"Modality", &WorklistDB::Modality},
    {"RequestedProcedureID", &WorklistDB::RequestedProcedureID},
    {"RequestedProcedureDescription", &WorklistDB::RequestedProcedureDescription},
    {"ScheduledProcedureStepStartDate", &WorklistDB::SPSDate},
    {"ScheduledProcedureStepStartTime", &WorklistDB::SPSTime},
    {"ScheduledProcedureStepID", &WorklistDB::SPSID},
    {"ScheduledProcedureStepDescription", &WorklistDB::SPSDescription},
    {"ScheduledPerformingPhysiciansName", &WorklistDB::PerformingPhysician},
    {"RequestingPhysician", &WorklistDB::ReferringPhysician},
    {"PatientTransport", &WorklistDB::PatientTransport},
    {"StudyStatus", &WorklistDB::SPSStatus},
}};

constexpr std::array<std::pair<const char*, char>, 5> kEntities{{
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''},
}};

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A numeric reference "&#...;" at `at`: its character and length, or length 0
// when the text there is not a valid reference.
std::pair<std::string, std::size_t> NumericReference(const std::string& text, std::size_t at) {
  std::size_t i = at + 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  const std::size_t digitsFrom = i;
  std::uint32_t code = 0;
  for (; i < text.size() && text[i] != ';'; ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0 || i - digitsFrom >= 8) return {"", 0};
    code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
  }
  const bool valid = i < text.size() && i > digitsFrom && code != 0 && code <= 0x10FFFF &&
                     !(code >= 0xD800 && code <= 0xDFFF);
  if (!valid) return {"", 0};
  std::string character;
  AppendUtf8(character, code);
  return {character, i + 1 - at};
}

}  // namespace

std::string DecodeXmlEntities(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    if (value[i] != '&') {
      out += value[i++];
      continue;
    }
    std::size_t used = 0;
    if (value.compare(i, 2, "&#") == 0) {
      auto [character, length] = NumericReference(value, i);
      out += character;
      used = length;
    } else {
      for (const auto& [entity, character] : kEntities) {
        if (value.compare(i, std::char_traits<char>::length(entity), entity) != 0) continue;
        out += character;
        used = std::char_traits<char>::length(entity);
        break;
      }
    }
    if (used == 0) {
      out += '&';  // starts no entity: kept as written
      used = 1;
    }
    i += used;
  }
  return out;
}

void SetOrderField(WorklistDB& record, const std::string& name, const std::string& value) {
  for (const auto& [attribute, column] : kAttributes)
    if (name == attribute) record.*column = value;
}

void ReadXmlAttributes(const std::string& bytes, WorklistDB& record) {
  enum class State { Outside, AfterEquals, InValue } state = State::Outside;
  std::string name;
  std::string value;
  char quote = '"';  // the one the value began with: XML allows either
  for (const char c : bytes) {
    switch (state) {
      case State::Outside:
        if (c == '=')
          state = State::AfterEquals;
        else if (IsXmlSpace(c))
          name.clear();
        else
          name += c;
        break;
      case State::AfterEquals:
        if (c == '"' || c == '\'') {
          quote = c;
          state = State::InValue;
        }
        break;
      case State::InValue:
        if (c == quote) {
          SetOrderField(record, name, DecodeXmlEntities(value));
          name.clear();
          value.clear();
          state = State::Outside;
        } else {
          value += c;
        }
        break;
    }
  }
}

std::string ProcessXML(const std::string& path) {
  std::string result = "ERROR processing XML document";
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    WriteLog("ERROR, ProcessXML, cannot read " + path);
    return result;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string text, problem, note;
  if (!ReadXmlText(bytes, text, problem, note)) {
    WriteLog("ERROR, ProcessXML, " + path + " refused, nothing stored: " + problem);
    return result;
  }
  if (!note.empty()) WriteLog("INFO, ProcessXML, " + path + ": " + note);
  WorklistDB record;
  ReadXmlAttributes(text, record);
  if (!ToStoredText(record, problem)) {
    WriteLog("ERROR, ProcessXML, " + path + " refused, nothing stored: " + problem);
    return result;
  }

  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return result;
  record.StudyInstanceUID = NewStudyUID();
  const WriteResult inserted = record.Insert(db);
  if (inserted != WriteResult::Done) {
    // The numbers this line has always carried: 1 a taken accession number,
    // -1 a record the store refused or a failed statement (logged before).
    WriteLog(std::string("ERROR, ProcessXML, proc->Insert, status=") +
             (inserted == WriteResult::AlreadyExists ? "1" : "-1"));
    return result;
  }
  WriteAudit({"xml-order", AuditAction::Create, true, record.AccessionNumber, "accession", {}, "created",
              record.PatientID, record.PatientName});
  return "Message Processed";
}

}  // namespace tarvelin
