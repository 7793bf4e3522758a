// The DICOM server as a modality sees it: the running `tarvelin` with dcmtk's
// command-line tools as peers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "dimse/running_server.h"

namespace tarvelin {

namespace {

using namespace std::chrono;

std::string Peer(const RunningServer& server) {
  return " 127.0.0.1 " + std::to_string(server.DicomPort());
}

// Writes a tiny 2x2 image of the given SOP class (a dcmtk dictionary name) as
// a DICOM file and returns its path.
std::string MakeImage(const RunningServer& server, const std::string& sopClass) {
  const std::string dump = server.Home() + sopClass + ".dump";
  const std::string file = server.Home() + sopClass + ".dcm";
  std::ofstream(dump) << "(0008,0016) UI =" << sopClass << "\n"
                      << "(0008,0018) UI [1.2.826.0.1.3680043.2.1125.9.1]\n"
                      << "(0010,0010) PN [TEST^PATIENT]\n"
                      << "(0020,000d) UI [1.2.826.0.1.3680043.2.1125.9.2]\n"
                      << "(0020,000e) UI [1.2.826.0.1.3680043.2.1125.9.3]\n"
                      << "(0028,0002) US 1\n(0028,0004) CS [MONOCHROME2]\n"
                      << "(0028,0010) US 2\n(0028,0011) US 2\n(0028,0100) US 8\n"
                      << "(0028,0101) US 8\n(0028,0102) US 7\n(0028,0103) US 0\n"
                      << "(7fe0,0010) OB 00\\01\\02\\03\n";
  const PeerResult made = RunPeer("dump2dcm --write-xfer-little " + dump + " " + file, 20);
  EXPECT_EQ(made.ExitCode, 0) << made.Output;
  return file;
}

// The socket numbers that end the log lines made of `prefix` and a number
// (before the peer every association line names).
std::vector<std::string> SocketsOf(const std::string& log, const std::string& prefix) {
  std::vector<std::string> sockets;
  const std::string start = ", " + prefix;
  for (auto at = log.find(start); at != std::string::npos; at = log.find(start, at + 1)) {
    auto first = at + start.size();
    auto end = log.find_first_not_of("0123456789", first);
    if (end != std::string::npos && end > first && (log.compare(end, 2, "\r\n") == 0 || log.compare(end, 7, ", from ") == 0))
      sockets.push_back(log.substr(first, end - first));
  }
  return sockets;
}

TEST(DicomServer, EchoIsAnsweredSeveralTimesOnOneAssociation) {
  RunningServer server;
  ASSERT_TRUE(server.Listening()) << server.Log();

  const PeerResult peer = RunPeer("echoscu -aet MODALITY1 --repeat 3" + Peer(server), 30);
  ASSERT_EQ(peer.ExitCode, 0) << peer.Output;

  ASSERT_TRUE(server.WaitForLog("Close Connection: ", 1, 5000)) << server.Log();
  const std::string log = server.Log();
  // The calling AE title is logged as received: 16 characters, padding included.
  auto associated = SocketsOf(log, "Associated with MODALITY1       , Socket: ");
  ASSERT_EQ(associated.size(), 1u) << log;
  const std::string socket = associated[0];
  EXPECT_EQ(CountOf(log, "Echo RSP: Ok!, Socket: " + socket + ", from 127.0.0.1\r\n"), 3) << log;
  EXPECT_EQ(CountOf(log, "Close Connection: " + socket + ", from 127.0.0.1\r\n"), 1) << log;
  EXPECT_EQ(CountOf(log, "ERROR"), 0) << log;
}

TEST(DicomServer, ClassesThatAreNotServedAreRefusedAtNegotiation) {
  RunningServer server;
  ASSERT_TRUE(server.Listening()) << server.Log();
  const std::vector<std::pair<std::string, std::string>> peers = {
      {"storage", "storescu -R" + Peer(server) + " " + MakeImage(server, "SecondaryCaptureImageStorage")},
      {"another storage class", "storescu -R" + Peer(server) + " " + MakeImage(server, "RTPlanStorage")},
      {"study root find", "findscu -S -k QueryRetrieveLevel=STUDY -k PatientName=" + Peer(server)},
  };
  for (std::size_t i = 0; i < peers.size(); ++i) {
    const auto& [name, command] = peers[i];
    const PeerResult peer = RunPeer(command, 30);
    EXPECT_NE(peer.ExitCode, 0) << name << "\n" << peer.Output;
    EXPECT_NE(peer.Output.find("No Acceptable Presentation Contexts"), std::string::npos) << name << "\n" << peer.Output;
    ASSERT_TRUE(server.WaitForLog("ERROR: Association Failed! Socket: ", static_cast<int>(i + 1), 5000)) << server.Log();
  }
  const std::string log = server.Log();
  EXPECT_EQ(CountOf(log, "no Valid Presentation Contexts"), 3) << log;
  EXPECT_EQ(CountOf(log, "Associated with "), 0) << log;
}

TEST(DicomServer, FiftySimultaneousEchoesAreAllAnswered) {
  RunningServer server;
  ASSERT_TRUE(server.Listening()) << server.Log();

  const std::string port = std::to_string(server.DicomPort());
  std::vector<pid_t> peers;
  for (int i = 0; i < 50; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      execlp("timeout", "timeout", "-k", "2", "30", "echoscu", "127.0.0.1", port.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    peers.push_back(pid);
  }
  int succeeded = 0;
  for (pid_t pid : peers) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++succeeded;
  }
  EXPECT_EQ(succeeded, 50);
  EXPECT_TRUE(server.WaitForLog("Echo RSP: Ok!, Socket: ", 50, 5000)) << server.Log();
}

TEST(DicomServer, SigtermWhileIdleEndsTheListenerPromptly) {
  RunningServer server;
  ASSERT_TRUE(server.Listening()) << server.Log();

  auto start = steady_clock::now();
  ASSERT_TRUE(server.Terminate(3000)) << server.Log();
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 3000);
  EXPECT_EQ(server.ExitStatus(), 0);

  const std::string log = server.Log();
  EXPECT_NE(log.find(" is finishing ****"), std::string::npos) << log;
  // The wake-up connection is not treated as an association.
  EXPECT_EQ(CountOf(log, "Association Failed"), 0) << log;
  EXPECT_EQ(CountOf(log, "Associated with"), 0) << log;
}

}  // namespace

}  // namespace tarvelin
