// Prints how fast an association moves messages over loopback:
//  - a worklist-style answer: N pending responses (a command set and a
//    data set of about 500 bytes each, sent as two small PDUs) and a final
//    response, as the server answers a C-FIND;
//  - one large data set cut into 16 KiB PDUs.
// Usage: net_bench [responses (700)] [large message bytes (20000000)]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

#include "dicom/dcmobj.h"
#include "net/pdu_service.h"
#include "net/socket.h"
#include "support/free_port.h"

using namespace tarvelin;

namespace {

using Seconds = std::chrono::duration<double>;

DcmObj Command(std::uint16_t status) {
  DcmObj command;
  command.Add(DcmTag(0x0000, 0x0002, std::string("1.2.840.10008.5.1.4.31")));
  command.Add(DcmTag::U16(0x0000, 0x0100, 0x8020));
  command.Add(DcmTag::U16(0x0000, 0x0120, 1));
  command.Add(DcmTag::U16(0x0000, 0x0800, status == 0 ? 0x0101 : 0x0000));
  command.Add(DcmTag::U16(0x0000, 0x0900, status));
  return command;
}

DcmObj Entry(int i) {
  DcmObj data;
  data.Add(DcmTag(0x0008, 0x0050, "ACC" + std::to_string(i)));
  data.Add(DcmTag(0x0010, 0x0010, std::string("DOE^JOHN^") + std::string(40, 'X')));
  data.Add(DcmTag(0x0010, 0x0020, "PAT" + std::to_string(i)));
  data.Add(DcmTag(0x0020, 0x000D, "1.2.3.4.5.6.7.8.9." + std::to_string(i)));
  data.Add(DcmTag(0x0032, 0x1060, std::string(300, 'D')));
  return data;
}

// The acceptor: for each request, `responses` pending answers then a final
// one; a data set request is echoed back whole.
void Serve(Socket& listener, int responses) {
  if (!listener.Accept()) return;
  PDU_Service acceptor;
  if (!acceptor.Multiplex(listener.Detach())) return;
  DcmObj request;
  while (acceptor.Read(request)) {
    if (request.Find(0x0000, 0x0100) == nullptr) {
      acceptor.Write(request, PDU_Service::DataSetPart);
    } else {
      for (int i = 0; i < responses; ++i) {
        DcmObj command = Command(0xFF00), data = Entry(i);
        acceptor.Write(command, PDU_Service::CommandPart);
        acceptor.Write(data, PDU_Service::DataSetPart);
      }
      DcmObj final = Command(0x0000);
      acceptor.Write(final, PDU_Service::CommandPart);
    }
    request.Clear();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int responses = argc > 1 ? std::atoi(argv[1]) : 700;
  const std::size_t largeBytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20000000;
  Socket listener;
  const std::string port = std::to_string(FreePort());
  if (!listener.Listen(port)) return 1;
  auto served = std::async(std::launch::async, [&] { Serve(listener, responses); });

  PDU_Service requestor;
  PresentationContext pc;
  pc.SetAbstractSyntax("1.2.840.10008.5.1.4.31");
  pc.AddTransferSyntax("1.2.840.10008.1.2");
  requestor.assocRQ.AddPresentationContext(pc);
  requestor.assocRQ.SetCalledApTitle("TARVELIN        ");
  requestor.assocRQ.SetCallingApTitle("BENCH           ");
  auto start = std::chrono::steady_clock::now();
  if (!requestor.Connect("127.0.0.1", port)) return 1;
  Seconds setUp = std::chrono::steady_clock::now() - start;

  start = std::chrono::steady_clock::now();
  DcmObj query = Command(0x0000);
  requestor.Write(query, PDU_Service::CommandPart);
  int received = 0;
  for (;;) {
    DcmObj command;
    if (!requestor.Read(command)) return 1;
    if (command.GetUS(0x0000, 0x0900) == 0) break;
    DcmObj data;
    if (!requestor.Read(data)) return 1;
    ++received;
  }
  Seconds answer = std::chrono::steady_clock::now() - start;

  DcmObj large;
  large.Add(DcmTag(0x0009, 0x1010, std::string(largeBytes, 'L'), "OB"));
  start = std::chrono::steady_clock::now();
  requestor.Write(large, PDU_Service::DataSetPart);
  DcmObj echoed;
  if (!requestor.Read(echoed)) return 1;
  Seconds roundTrip = std::chrono::steady_clock::now() - start;
  requestor.Release();
  served.wait();

  std::printf("association set-up: %.2f ms\n", setUp.count() * 1000);
  std::printf("pending responses: %d in %.1f ms (%.0f responses/s)\n", received,
              answer.count() * 1000, received / answer.count());
  std::printf("large message: %zu bytes there and back in %.1f ms (%.1f MB/s each way)\n",
              largeBytes, roundTrip.count() * 1000, 2 * largeBytes / roundTrip.count() / 1e6);
  return 0;
}
