#include "dicom/uid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "service/node_number.h"
#include "service/settings.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

// Restores the built-in root after a test that overrides it.
struct RootOverride {
  explicit RootOverride(const std::string& root) { ServerSettings.UIDRoot = root; }
  ~RootOverride() { ServerSettings.UIDRoot.clear(); }
};

}  // namespace

TEST(UIDTables, DisplayNames) {
  EXPECT_EQ(GetUIDName("1.2.840.10008.1.2.4.50"), "JPEG BaseLine Lossy ");
  EXPECT_EQ(GetUIDName("1.2.840.10008.1.1"), "Verification");
  EXPECT_EQ(GetUIDName("1.2.840.10008.5.1.4.1.1.2"), "CT Image Storage");
  EXPECT_EQ(GetUIDName("1.2.840.10008.5.1.1.1"), "Basic Film Session SOP Class");
  EXPECT_EQ(GetUIDName("1.2.840.10008.5.1.4.1.1.5"), "Nuclear Medicine Image Storage (Retired)");
  EXPECT_EQ(GetUIDName("1.2.840.10008.5.1.4.1.1.77.1.1"), "VL Video Endoscopic Image Storage");
  EXPECT_EQ(GetUIDName("1.2.3.4"), "");
}

TEST(UIDGenerator, RootFitsAndCanBeOverridden) {
  const std::string root = DefaultUIDRoot;
  EXPECT_LE(root.size(), 31u);
  EXPECT_EQ(UIDRoot(), root);
  EXPECT_EQ(ImplementationClassUID(), root + ".999");
  {
    RootOverride site("1.2.826.0.1.3680043.2.1");
    EXPECT_EQ(NewStudyUID().rfind("1.2.826.0.1.3680043.2.1.1.", 0), 0u) << "the configured root is used unchanged";
    EXPECT_EQ(ImplementationClassUID(), "1.2.826.0.1.3680043.2.1.999");
  }
  EXPECT_EQ(UIDRoot(), root);
}

TEST(UIDGenerator, UniqueUIDsNeverRepeatAndAreValidUIDs) {
  // The clock stands still, as if every order arrived in the same
  // microsecond: nothing of the inputs may decide the UID.
  const PinnedClock pinned(2024, 3, 5, 14, 30, 15);
  const std::regex uidForm("(0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*))*");
  const std::string roots[] = {DefaultUIDRoot, "1.2.826.0.1.3680043.2.1143.107.104.103.115", "1.2"};
  std::set<std::string> seen;
  for (const std::string& root : roots) {
    RootOverride site(root);
    for (int i = 0; i < 10000 / 3 + 1; ++i) {
      const std::string uid = NewStudyUID();
      ASSERT_LE(uid.size(), 64u) << uid;
      ASSERT_TRUE(std::regex_match(uid, uidForm)) << uid;
      ASSERT_EQ(uid.rfind(root + ".1.", 0), 0u) << uid;
      ASSERT_TRUE(seen.insert(uid).second) << "repeated: " << uid;
    }
  }
  EXPECT_GE(seen.size(), 10000u);
  // Kinds of generated UIDs stay apart.
  EXPECT_EQ(UniqueUID("2").rfind(std::string(DefaultUIDRoot) + ".2.", 0), 0u);
}

TEST(UIDGenerator, ServersOnOneDatabaseDifferByTheirNodeNumber) {
  const PinnedClock pinned(2024, 3, 5, 14, 30, 15);
  const std::regex uidForm("(0|[1-9][0-9]*)(\\.(0|[1-9][0-9]*))*");
  // The longest root that keeps every UID whole, and the built-in one.
  const std::string roots[] = {DefaultUIDRoot, "1.2.826.0.1.3680043.2.1143.1071"};
  for (const std::string& root : roots) {
    RootOverride site(root);
    for (const int node : {0, 1, 42, 9999999}) {
      SetNodeNumber(node);
      const std::string uid = NewStudyUID();
      EXPECT_LE(uid.size(), 64u) << uid;
      EXPECT_TRUE(std::regex_match(uid, uidForm)) << uid;
      // After root and kind: the count, [the node,] the process's random part.
      std::vector<std::string> parts;
      std::stringstream rest(uid.substr(root.size() + 3));
      for (std::string part; std::getline(rest, part, '.');) parts.push_back(part);
      ASSERT_EQ(parts.size(), node == 0 ? 2u : 3u) << uid;
      if (node != 0) {
        EXPECT_EQ(parts[1], std::to_string(node)) << uid;
      }
      EXPECT_FALSE(parts.back().empty()) << uid;
    }
  }
  SetNodeNumber(0);
}

}  // namespace tarvelin
