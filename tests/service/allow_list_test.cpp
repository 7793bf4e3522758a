#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "service/address_range.h"
#include "service/caller_allow_list.h"
#include "service/sender_allow_list.h"

namespace tarvelin {

TEST(AddressRange, NetworksAndAddresses) {
  struct Case {
    const char* range;
    const char* address;
    bool parsed;
    bool inside;
  };
  const Case cases[] = {
      {"10.1.2.0/24", "10.1.2.200", true, true},
      {"10.1.2.0/24", "10.1.3.1", true, false},
      {"10.1.2.7", "10.1.2.7", true, true},
      {"10.1.2.7", "10.1.2.8", true, false},
      {"10.1.2.99/24", "10.1.2.1", true, true},  // host bits of the network are ignored
      {"0.0.0.0/0", "192.168.7.7", true, true},
      {"10.1.2.7/32", "", true, false},           // an unknown peer matches nothing
      {"10.1.2.7", "not an address", true, false},
      {"10.1.2.0/33", "10.1.2.0", false, false},
      {"10.1.2.0/", "10.1.2.0", false, false},
      {"10.1.2.0/2x", "10.1.2.0", false, false},
      {"10.1.2", "10.1.2.0", false, false},
      {"host.example", "10.1.2.0", false, false},
  };
  for (const Case& c : cases) {
    const auto range = AddressRange::Parse(c.range);
    EXPECT_EQ(range.has_value(), c.parsed) << c.range;
    if (range) {
      EXPECT_EQ(range->Contains(c.address), c.inside) << c.range << " " << c.address;
    }
  }
}

TEST(CallerAllowList, EntriesDecideWhoMayDoWhat) {
  std::vector<std::string> errors;
  const CallerAllowList list = CallerAllowList::Parse(
      "# modalities of the west wing\n"
      "CT_WEST   query,mpps  10.1.2.0/24 10.1.3.7\n"
      "\n"
      "MR_WEST   query\r\n"
      "US_EAST\n"
      "CT_WEST   mpps        10.9.9.9\n"
      "BAD_RIGHT reads       10.1.1.1\n"
      "BAD_HOST  query       10.1.1.300\n"
      "THIS_TITLE_IS_TOO_LONG\n",
      errors);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_NE(errors[0].find("line 7"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("line 8"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2].find("line 9"), std::string::npos) << errors[2];
  EXPECT_TRUE(list.On());

  struct Case {
    const char* ae;
    const char* address;
    std::optional<CallerRights> rights;
  };
  const Case cases[] = {
      {"CT_WEST         ", "10.1.2.44", CallerRights{true, true}},  // padded as it travels
      {"CT_WEST", "10.1.3.7", CallerRights{true, true}},
      {"CT_WEST", "10.9.9.9", CallerRights{false, true}},  // a later line for another host
      {"CT_WEST", "10.1.4.1", std::nullopt},
      {"ct_west", "10.1.2.44", std::nullopt},  // AE titles are case-sensitive
      {"MR_WEST", "172.16.0.1", CallerRights{true, false}},
      {"US_EAST", "8.8.8.8", CallerRights{true, true}},
      {"BAD_RIGHT", "10.1.1.1", std::nullopt},  // unreadable lines open nothing
      {"BAD_HOST", "10.1.1.1", std::nullopt},
      {"ROGUE", "10.1.2.44", std::nullopt},
      {"", "10.1.2.44", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto rights = list.Admit(c.ae, c.address);
    ASSERT_EQ(rights.has_value(), c.rights.has_value()) << c.ae << " " << c.address;
    if (!rights) continue;
    EXPECT_EQ(rights->Query, c.rights->Query) << c.ae << " " << c.address;
    EXPECT_EQ(rights->Mpps, c.rights->Mpps) << c.ae << " " << c.address;
  }
}

TEST(CallerAllowList, OnlyCommentsOrNothingKeepsEveryoneIn) {
  for (const char* text : {"", "# nobody yet\n; nor here\n\n"}) {
    std::vector<std::string> errors;
    const CallerAllowList list = CallerAllowList::Parse(text, errors);
    EXPECT_FALSE(list.On()) << text;
    EXPECT_TRUE(list.Admit("ANYONE", "1.2.3.4").has_value()) << text;
    EXPECT_TRUE(errors.empty());
  }
}

TEST(SenderAllowList, AddressesAndSendingApplications) {
  std::vector<std::string> errors;
  const SenderAllowList list =
      SenderAllowList::Parse("10.1.0.0/16, 192.168.5.5 nonsense", "RIS, LAB@HOSP ,@X", errors);
  ASSERT_EQ(errors.size(), 2u);
  struct Case {
    const char* address;
    const char* application;
    const char* facility;
    bool address_ok;
    bool sender_ok;
  };
  const Case cases[] = {
      {"10.1.200.3", "RIS", "ANY", true, true},
      {"192.168.5.5", "RIS^1.2.3^ISO", "", true, true},  // only the namespace counts
      {"192.168.5.6", "LAB", "HOSP^2.16.1^ISO", false, true},
      {"10.2.0.1", "LAB", "CLINIC", false, false},
      {"10.1.0.1", "EVIL", "HOSP", true, false},
      {"10.1.0.1", "", "", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.AddressAllowed(c.address), c.address_ok) << c.address;
    EXPECT_EQ(list.SenderAllowed(c.application, c.facility), c.sender_ok) << c.application << "@" << c.facility;
  }
  const SenderAllowList open = SenderAllowList::Parse("", "", errors);
  EXPECT_TRUE(open.AddressAllowed("203.0.113.9"));
  EXPECT_TRUE(open.SenderAllowed("EVIL", ""));
}

}  // namespace tarvelin
