#include "platform/systemd_unit.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/temp_folder.h"

namespace tarvelin {

namespace fs = std::filesystem;

TEST(SystemdUnit, InstallWritesAnEnabledUnitAndUninstallRemovesIt) {
  TempFolder units;
  const std::string folder = units.Path() + "system";  // created on demand
  std::string error;
  ASSERT_TRUE(InstallUnit(folder, "/opt/tarvelin/tarvelin", "/srv/wl/", error)) << error;

  const std::string unit = folder + "/Quillat_Tarvelin.service";
  const std::string text = ReadWholeFile(unit);
  EXPECT_NE(text.find("Description=QuillatSoft Tarvelin\n"), std::string::npos);
  EXPECT_NE(text.find("ExecStart=\"/opt/tarvelin/tarvelin\" --home \"/srv/wl/\"\n"), std::string::npos);
  EXPECT_NE(text.find("[Install]\nWantedBy=multi-user.target\n"), std::string::npos);
  // Not root, and of root's powers only the privileged ports; nothing but
  // the instance writable.
  for (const char* line : {"\nUser=tarvelin\n", "\nGroup=tarvelin\n", "\nUMask=0027\n", "\nNoNewPrivileges=yes\n",
                           "\nProtectSystem=strict\n", "\nReadWritePaths=\"/srv/wl/\"\n", "\nPrivateTmp=yes\n",
                           "\nLimitNOFILE=65536\n", "\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n",
                           "\nCapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  const fs::path link = folder + "/multi-user.target.wants/Quillat_Tarvelin.service";
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::equivalent(link, unit));

  // Installing again replaces the unit in place.
  ASSERT_TRUE(InstallUnit(folder, "/opt/tarvelin/tarvelin", "/srv/other/", error)) << error;
  EXPECT_NE(ReadWholeFile(unit).find("--home \"/srv/other/\""), std::string::npos);

  ASSERT_TRUE(UninstallUnit(folder, error)) << error;
  EXPECT_FALSE(fs::exists(unit));
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_FALSE(UninstallUnit(folder, error));
  EXPECT_NE(error.find("not installed"), std::string::npos);
}

TEST(SystemdUnit, SpecialCharactersInPathsAreEscaped) {
  const std::string text = UnitText("/opt/my tools/tarvelin", "/srv/100%/a\"b$x/");
  EXPECT_NE(text.find("ExecStart=\"/opt/my tools/tarvelin\" --home \"/srv/100%%/a\\\"b$$x/\"\n"), std::string::npos);
}

TEST(SystemdUnit, UnwritableFolderIsReported) {
  std::string error;
  EXPECT_FALSE(InstallUnit("/proc/no-such-place", "/x/tarvelin", "/srv/", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace tarvelin
