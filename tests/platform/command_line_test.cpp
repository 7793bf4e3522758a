#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvelin {

namespace {
CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tarvelin");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}
}  // namespace

TEST(CommandLine, RunWithOrWithoutHome) {
  CommandLine plain = Parse({});
  EXPECT_EQ(plain.action, CommandLine::Action::Run);
  EXPECT_EQ(plain.home, "");
  EXPECT_EQ(Parse({"--home", "/srv/wl"}).home, "/srv/wl");
  EXPECT_EQ(Parse({"--home=/srv/wl"}).home, "/srv/wl");
  EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::Help);
}

TEST(CommandLine, InstallSwitchesIgnoreCaseAndPrefix) {
  CommandLine install = Parse({"install", "/Silent", "--home", "/srv/wl"});
  EXPECT_EQ(install.action, CommandLine::Action::Install);
  EXPECT_TRUE(install.silent);
  EXPECT_EQ(install.home, "/srv/wl");
  CommandLine uninstall = Parse({"-UNINSTALL"});
  EXPECT_EQ(uninstall.action, CommandLine::Action::Uninstall);
  EXPECT_FALSE(uninstall.silent);
  EXPECT_TRUE(uninstall.error.empty());
}

TEST(CommandLine, RefusesWhatItDoesNotKnow) {
  EXPECT_FALSE(Parse({"--home"}).error.empty());
  EXPECT_FALSE(Parse({"--home", ""}).error.empty());
  EXPECT_FALSE(Parse({"--homes", "x"}).error.empty());
  EXPECT_FALSE(Parse({"INSTALLX"}).error.empty());
  EXPECT_FALSE(Parse({"--INSTALL"}).error.empty());
}

}  // namespace tarvelin
