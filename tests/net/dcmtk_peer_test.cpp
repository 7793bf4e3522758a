// Interoperability with an independent DICOM implementation (dcmtk's echoscu
// and storescp as black-box peers): our acceptor answers echoscu, our
// requestor verifies against storescp. A missing peer program fails the test.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "net/pdu_service.h"
#include "net/socket.h"
#include "net_test_support.h"

extern char** environ;

namespace tarvelin {

using namespace nettest;

namespace {

const std::string Verification = "1.2.840.10008.1.1";

DcmObj EchoCommand(std::uint16_t commandField, std::uint16_t messageIDTag, std::uint16_t id) {
  DcmObj command;
  command.Add(DcmTag(0x0000, 0x0002, Verification));
  command.Add(DcmTag::U16(0x0000, 0x0100, commandField));
  command.Add(DcmTag::U16(0x0000, messageIDTag, id));
  command.Add(DcmTag::U16(0x0000, 0x0800, 0x0101));
  if (commandField == 0x8030) command.Add(DcmTag::U16(0x0000, 0x0900, 0x0000));
  return command;
}

// Answers one C-ECHO and the release that follows; true when both came.
bool AnswerOneEcho(Socket& listener) {
  if (!listener.Accept()) return false;
  PDU_Service acceptor;
  acceptor.Link.Sock.SetTimeout(10);
  if (!acceptor.Multiplex(listener.Detach())) return false;
  DcmObj request;
  if (!acceptor.Read(request) || request.GetUS(0x0000, 0x0100) != 0x0030) return false;
  DcmObj response = EchoCommand(0x8030, 0x0120, request.GetUS(0x0000, 0x0110));
  if (!acceptor.Write(response, PDU_Service::CommandPart)) return false;
  DcmObj none;
  return !acceptor.Read(none) && acceptor.IsConnected();  // release answered, still open
}

// A child process, ended by its id when the object goes away.
struct Child {
  pid_t pid = -1;
  explicit Child(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

}  // namespace

TEST(DcmtkPeer, EchoscuIsAnsweredByOurAcceptor) {
  LogCapture log;
  Socket listener;
  std::string port = std::to_string(FreePort());
  ASSERT_TRUE(listener.Listen(port));
  auto answered = std::async(std::launch::async, [&] { return AnswerOneEcho(listener); });
  int status = std::system(("timeout 20 echoscu -aet MODALITY -aec TARVELIN --max-pdu 4096 "
                            "127.0.0.1 " + port + " > /dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "echoscu failed (is dcmtk installed?)\n" << log.Text();
  ASSERT_EQ(answered.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_TRUE(answered.get()) << log.Text();
  EXPECT_EQ(log.Text().find("ERROR"), std::string::npos) << log.Text();
}

TEST(DcmtkPeer, OurRequestorVerifiesAgainstStorescp) {
  LogCapture log;
  std::string port = std::to_string(FreePort());
  Child storescp({"storescp", "-aet", "STORESCP", "--max-pdu", "8192", port});
  ASSERT_GT(storescp.pid, 0) << "storescp could not be started (is dcmtk installed?)";

  PDU_Service requestor;
  requestor.Link.Sock.SetTimeout(10);
  requestor.assocRQ.SetCalledApTitle("STORESCP        ");
  requestor.assocRQ.SetCallingApTitle("TARVELIN        ");
  PresentationContext pc;
  pc.SetAbstractSyntax(Verification);
  pc.AddTransferSyntax("1.2.840.10008.1.2");
  requestor.assocRQ.AddPresentationContext(pc);
  bool connected = false;
  for (int attempt = 0; attempt < 50 && !connected; ++attempt) {
    connected = requestor.Connect("127.0.0.1", port);
    if (!connected) usleep(100000);  // storescp is still starting
  }
  ASSERT_TRUE(connected) << log.Text();
  EXPECT_EQ(requestor.assocAC.UserInfo.MaxSubLength.MaximumLength, 8192u);

  DcmObj request = EchoCommand(0x0030, 0x0110, 1);
  ASSERT_TRUE(requestor.Write(request, PDU_Service::CommandPart));
  DcmObj response;
  ASSERT_TRUE(requestor.Read(response)) << log.Text();
  EXPECT_EQ(response.GetUS(0x0000, 0x0100), 0x8030);
  EXPECT_EQ(response.GetUS(0x0000, 0x0120), 1);
  EXPECT_EQ(response.GetUS(0x0000, 0x0900), 0x0000);
  EXPECT_TRUE(requestor.Release());
}

}  // namespace tarvelin
