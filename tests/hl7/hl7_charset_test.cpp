// Character sets, delimiters and escapes of received orders, with a running
// server and raw MLLP sockets (and Debian's mllp_send) as the RIS.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "db/stored_text.h"
#include "hl7/hl7_test_support.h"
#include "hl7/text_in_charset.h"
#include "support/child_process.h"

namespace tarvelin {

namespace {

struct Delimiters {
  char field = '|', component = '^', repetition = '~', escape = '\\', subcomponent = '&';
};

// An NW order with MSH-10 and the accession number `id`, the patient name
// `name` (PID-5) and the procedure description `description` (OBR-4
// component 2), written with `d`.
std::string Order(const std::string& id, const std::string& msh18, const std::string& name,
                  const std::string& description, const std::string& birth = "19700102", Delimiters d = {}) {
  const std::string f(1, d.field), c(1, d.component);
  auto fields = [&](int n) { return std::string(static_cast<std::size_t>(n), d.field); };
  return "MSH" + f + d.component + d.repetition + d.escape + d.subcomponent + f + "RIS" + f + "HOSP" + f +
         "TARVELIN" + f + "RAD" + f + "20240305143015" + f + f + "ORM" + c + "O01" + f + id + f + "P" + f + "2.3.1" +
         fields(6) + msh18 + "\r" + "PID" + f + "1" + f + f + "12345" + c + c + c + "HOSP" + f + f + name + f + f +
         birth + f + "M\r" + "ORC" + f + "NW\r" + "OBR" + f + "1" + fields(3) + "CT1" + c + description +
         fields(14) + id + fields(6) + "CT\r";
}

// `utf8` as the worklist stores it; nothing when its character set cannot
// hold it (the order must then be refused, never stored with "?").
std::optional<std::string> Stored(const std::string& utf8) {
  std::string out;
  if (WriteFromUtf8(utf8, StoredTextCharset, out) > 0) return std::nullopt;
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The ERR-1 of an acknowledgement up to its code ("PID^1^5^102"), "" when none.
std::string ErrWhere(const std::string& ack) {
  const std::size_t at = ack.find("\rERR|");
  if (at == std::string::npos) return "";
  return ack.substr(at + 5, ack.find('&', at) - at - 5);
}

struct Case {
  const char* what;
  std::string msh18;
  std::string name;         // PID-5 as sent
  std::string description;  // OBR-4.2 as sent
  std::string storedName;   // UTF-8 of what is kept; "" when the message is refused
  std::string storedDescription;
  std::string err = "";  // ERR-1 up to the code of a refused message
  std::string birth = "19700102";
  std::string ackHas = "";  // bytes the acknowledgement holds
  Delimiters delimiters = {};
};

TEST(HL7Charsets, MessagesAreReadInTheirDeclaredSetAndStoredOrRefusedWhole) {
  RunningTarvelin server;
  ASSERT_EQ(server.Problem(), "");
  const Case cases[] = {
      // Latin-1 senders of today: the very bytes they always stored.
      {"no MSH-18: HL7CharSet 8859/1", "", "M\xDCLLER^J\xD6RG", "R\xF6ntgen \x80\xA0\xFF", "MÜLLER^JÖRG",
       "Röntgen \xC2\x80\xC2\xA0ÿ"},
      {"8859/1", "8859/1", "M\xDCLLER^J\xD6RG", "Thorax", "MÜLLER^JÖRG", "Thorax"},
      {"8859/2 Czech and Polish", "8859/2", "DVO\xD8\xC1K^\xA3UKASZ", "Hrudn\xEDk", "DVOŘÁK^ŁUKASZ", "Hrudník"},
      {"8859/2 within Latin-1", "8859/2", "NOV\xC1K^JAN", "Koleno", "NOVÁK^JAN", "Koleno"},
      {"8859/5 Cyrillic", "8859/5", "\xB8\xD2\xD0\xDD\xDE\xD2^\xB8\xD2\xD0\xDD", "CT", "Иванов^Иван", "CT"},
      {"8859/7 Greek", "8859/7", "\xD0\xC1\xD0\xC1\xC4\xCF\xD0\xCF\xD5\xCB\xCF\xD3", "CT", "ΠΑΠΑΔΟΠΟΥΛΟΣ", "CT"},
      {"8859/9 Turkish", "8859/9", "\xD6ZT\xDCRK^AY\xDE" "E", "CT", "ÖZTÜRK^AYŞE", "CT"},
      {"UNICODE UTF-8", "UNICODE UTF-8", "M\xC3\x9CLLER^J\xC3\x96RG", "Knie", "MÜLLER^JÖRG", "Knie"},
      {"UNICODE UTF-8 Japanese", "UNICODE UTF-8", "山田^太郎", "頭部", "山田^太郎", "頭部"},
      {"ASCII", "ASCII", "DOE^JOHN", "Head", "DOE^JOHN", "Head"},
      // Bytes the declared set does not define: refused, the field named.
      {"latin-1 bytes declared UTF-8", "UNICODE UTF-8", "M\xDCLLER", "CT", "", "", "PID^1^5^102"},
      {"8-bit bytes declared ASCII", "ASCII", "M\xDCLLER", "CT", "", "", "PID^1^5^102"},
      {"byte 8859/7 leaves undefined", "8859/7", "\xD2", "CT", "", "", "PID^1^5^102"},
      {"unknown MSH-18", "UTF-8", "DOE", "CT", "", "", "MSH^1^18^103"},
      {"alternate character sets", "8859/1~ISO IR87", "DOE", "CT", "", "", "MSH^1^18^103"},
      // Escapes, decoded with the message's delimiters and set.
      {"delimiter escapes", "", "O\\S\\BRIEN^SEAN", "CT \\T\\ MR\\S\\knee \\F\\ \\R\\ \\E\\", "O^BRIEN^SEAN",
       "CT & MR^knee | ~ \\"},
      {"hexadecimal in 8859/1", "8859/1", "M\\XDC\\LLER", "A\\X0D0A\\B", "MÜLLER", "A  B"},
      {"hexadecimal in UTF-8", "UNICODE UTF-8", "M\\XC39C\\LLER", "CT", "MÜLLER", "CT"},
      {"hexadecimal not UTF-8", "UNICODE UTF-8", "M\\XDC\\LLER", "CT", "", "", "PID^1^5^102"},
      {"malformed hexadecimal", "", "DOE", "\\XD\\", "", "", "OBR^1^4^102"},
      {"highlighting and formatting", "", "DOE", "\\H\\URGENT\\N\\ knee\\.br\\left\\.in+4\\", "DOE",
       "URGENT knee left"},
      {"a lone escape character is text", "", "DOE", "C:\\temp", "DOE", "C:\\temp"},
      {"character set switch", "", "DOE\\C2D41\\", "CT", "", "", "PID^1^5^102"},
      {"locally defined escape", "", "DOE", "\\Zabc\\", "", "", "OBR^1^4^102"},
      {"declared delimiters", "8859/1", "DOE$J\xD6RG", "A^B @S@ C!D", "DOE^JÖRG", "A^B ^ C&D", "", "19700102",
       "", Delimiters{'#', '$', '%', '@', '!'}},
      // The acknowledgement is written in the message's set.
      {"acknowledgement in 8859/2", "8859/2", "DOE", "CT", "", "", "PID^1^7^102", "1970\xC4", "1970\xC4"},
      {"acknowledgement in UTF-8", "UNICODE UTF-8", "DOE", "CT", "", "", "PID^1^7^102", "1970\xC3\x84",
       "1970\xC3\x84"},
  };
  MllpPeer peer(server.HL7Port());
  ASSERT_TRUE(peer.Connected());
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string id = "CS" + std::to_string(++n);
    ASSERT_TRUE(peer.Send(Framed(Order(id, c.msh18, c.name, c.description, c.birth, c.delimiters))));
    const std::string ack = peer.ReadAck().value_or("no answer");
    // MSH-18 comes back when it named a set we read.
    const bool known = !c.msh18.empty() && c.err.rfind("MSH^1^18", 0) != 0;
    EXPECT_NE(ack.find("|P|2.3.1" + (known ? "||||||" + c.msh18 : "") + "\rMSA|"), std::string::npos) << ack;
    if (!c.ackHas.empty()) {
      EXPECT_NE(ack.find(c.ackHas), std::string::npos) << ack;
    }
    // In hexadecimal: the bytes as stored.
    const std::string row = Hex(server.Sql("SELECT PatientName, SPSDescription FROM Worklist "
                                           "WHERE AccessionNumber='" + id + "'"));
    const std::optional<std::string> name = Stored(c.storedName), description = Stored(c.storedDescription);
    if (!c.err.empty()) {
      EXPECT_EQ(MsaSegment(ack), "MSA|AE|" + id + "|ERROR") << ack;
      EXPECT_EQ(ErrWhere(ack), c.err) << ack;
      EXPECT_EQ(row, "");
    } else if (!name || !description) {
      // Read, but the store's set lacks a character: refused, not mangled.
      EXPECT_EQ(ErrWhere(ack), "MSH^1^18^207") << ack;
      EXPECT_EQ(row, "");
    } else {
      EXPECT_EQ(MsaSegment(ack), "MSA|AA|" + id) << ack;
      EXPECT_EQ(row, Hex(*name + "|" + *description + "\n"));
    }
  }
  const std::string log = server.Log();
  EXPECT_NE(log.find("ERROR, ProcessHL7, message refused, nothing stored: PID-5 holds bytes that are not valid "
                     "UNICODE UTF-8 text"),
            std::string::npos);
  EXPECT_NE(log.find("ERROR, ProcessHL7, message refused, nothing stored: character set (MSH-18) not supported: "
                     "UTF-8"),
            std::string::npos);
}

TEST(HL7Charsets, UndeclaredMessagesTakeHL7CharSetAndMllpSendGetsItsSetBack) {
  TarvelinInstance server("hl7-charset");
  ASSERT_EQ(server.InitWithSetupTool("hl7 test admin password"), "");
  ASSERT_EQ(server.Configure("HL7CharSet", "UNICODE UTF-8"), "");
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(server.WaitForLog("Initialized HL7 server at port: ", 1, 10000)) << server.Log();

  MllpPeer peer(server.HL7Port());
  ASSERT_TRUE(peer.Connected());
  ASSERT_TRUE(peer.Send(Framed(Order("U1", "", "M\xC3\x9CLLER", "CT"))));
  const std::string ack = peer.ReadAck().value_or("");
  EXPECT_EQ(MsaSegment(ack), "MSA|AA|U1") << ack;
  EXPECT_NE(ack.find("|P|2.3.1\rMSA"), std::string::npos) << "no MSH-18 sent, none answered: " << ack;
  EXPECT_EQ(Hex(QueryDatabase(server.Storage(), "SELECT PatientName FROM Worklist WHERE AccessionNumber='U1'")),
            Hex(Stored("MÜLLER").value_or("") + "\n"));

  // Debian's mllp_send as the RIS, MSH-18 naming ISO 8859-2.
  const std::string file = server.Home() + "order.mllp";
  std::ofstream(file, std::ios::binary) << Framed(Order("U2", "8859/2", "NOV\xC1K", "CT"));
  ChildProcess sender("/usr/bin/mllp_send", {"-p", std::to_string(server.HL7Port()), "-f", file, "127.0.0.1"});
  ASSERT_TRUE(sender.Started()) << "mllp_send (Debian python3-hl7) is missing";
  RunToEnd(sender);
  EXPECT_NE(sender.Output().find("|P|2.3.1||||||8859/2\rMSA|AA|U2"), std::string::npos)
      << sender.Output() << sender.Errors();
}

}  // namespace

}  // namespace tarvelin
