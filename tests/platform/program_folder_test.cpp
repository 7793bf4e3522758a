#include "platform/program_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tarvelin {

TEST(ProgramFolder, HomeArgumentThenEnvironmentThenExecutableFolder) {
  unsetenv("TARVELIN_HOME");
  EXPECT_EQ(ResolveProgramFolder("/srv/wl"), "/srv/wl/");
  EXPECT_EQ(ResolveProgramFolder("/srv/wl///"), "/srv/wl/");
  setenv("TARVELIN_HOME", "/var/lib/tarvelin", 1);
  EXPECT_EQ(ResolveProgramFolder(""), "/var/lib/tarvelin/");
  EXPECT_EQ(ResolveProgramFolder("/srv/wl"), "/srv/wl/");
  unsetenv("TARVELIN_HOME");
  const std::string exeFolder = std::filesystem::path(ExecutablePath()).parent_path().string() + "/";
  EXPECT_EQ(ResolveProgramFolder(""), exeFolder);
}

TEST(ProgramFolder, RelativeHomeBecomesAbsolute) {
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(ResolveProgramFolder("inst/../instance"), WithTrailingSlash(cwd) + "instance/");
  EXPECT_EQ(WithTrailingSlash("/"), "/");
  EXPECT_EQ(WithTrailingSlash(""), "");
}

}  // namespace tarvelin
