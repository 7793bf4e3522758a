#pragma once
// Ends web connections that send their requests too slowly. Every
// connection holds a thread, and libmicrohttpd's own time-out only counts
// silence, so a client that trickles a byte now and then (slowloris, slow
// POST) would keep its thread for ever. Here a request's headers must be
// complete within `headerSeconds` of the connection's start or of the
// previous answer (which also ends idle keep-alive connections), and its
// body within `bodySeconds` of the headers. While a request is being
// answered no deadline runs. While the answer is sent, the client must take
// some of it (its TCP acknowledges new bytes) every `answerSeconds`: one that
// stopped reading is cut off however large the socket buffers, a slow reader
// never. A connection past its deadline is shut down (its thread then sees
// the end and closes it) and logged once.
//
// The web server calls Opened, the phase changes and Closed from the
// connection's thread; a watcher thread of this object does the rest.
#include <chrono>
#include <condition_variable>
#include <set>
#include <mutex>
#include <string>
#include <thread>

namespace tarvelin {

class ConnectionDeadlines {
 public:
  using SteadyClock = std::chrono::steady_clock;
  struct Connection;

  ConnectionDeadlines(int headerSeconds, int bodySeconds, int answerSeconds);
  ~ConnectionDeadlines();  // stops the watcher; every connection must be closed by then
  ConnectionDeadlines(const ConnectionDeadlines&) = delete;
  ConnectionDeadlines& operator=(const ConnectionDeadlines&) = delete;

  // A new connection on socket `fd` from `address`; its headers' deadline starts.
  Connection* Opened(int fd, std::string address);
  void HeadersDone(Connection* connection);  // the body's deadline starts
  void Answering(Connection* connection);    // no deadline while the answer is made
  void Sending(Connection* connection);      // the answer is queued: the client must take it
  void Answered(Connection* connection);     // the next request's headers' deadline starts
  void Closed(Connection* connection);       // forgotten; the pointer is invalid afterwards

  // Shuts down every connection past its deadline at `now` (a sending one's
  // deadline first moves on when its client took bytes since the last
  // look); the number shut down. The watcher calls it every quarter second.
  int EndOverdue(SteadyClock::time_point now);

 private:
  void Watch();
  void SetDeadline(Connection* connection, int seconds, const char* late);

  const int headerSeconds_, bodySeconds_, answerSeconds_;
  std::mutex lock_;
  std::condition_variable stopSignal_;
  bool stopping_ = false;
  std::set<Connection*> open_;  // guarded by lock_
  std::thread watcher_;
};

}  // namespace tarvelin
