#pragma once
// XML order files of the drop folder: a flat attribute syntax
// (Name="value" pairs anywhere in the file) that only ever inserts a new
// worklist entry. Element content between tags is never read.
#include <string>

namespace tarvelin {

class WorklistDB;

// Reads the order file at `path` in its encoding (see ReadXmlText) and
// inserts its entry with a generated Study Instance UID. "Message Processed"
// when inserted, else "ERROR processing XML document" (unreadable file or
// encoding, a value the worklist's character set cannot hold, database not
// opened, required field missing, duplicate accession number, failure).
std::string ProcessXML(const std::string& path);

// Stores `value` in the column an XML attribute name stands for
// (PatientsName, PatientID, ..., StudyStatus; exact case); other names are ignored.
void SetOrderField(WorklistDB& record, const std::string& name, const std::string& value);

// Calls SetOrderField for every Name="value" (or Name='value') pair of
// `bytes` (UTF-8). A name is what follows the last whitespace (blank, tab,
// CR, LF) or closing quote before "="; values are taken byte for byte except
// that the five predefined XML entities and numeric character references are
// decoded.
void ReadXmlAttributes(const std::string& bytes, WorklistDB& record);

// `value` (UTF-8) with &amp; &lt; &gt; &quot; &apos; and &#nnn; / &#xhh;
// decoded into UTF-8; any other "&" stays as it is.
std::string DecodeXmlEntities(const std::string& value);

}  // namespace tarvelin
