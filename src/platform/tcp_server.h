#pragma once
// A small multi-threaded TCP server: one listening IPv4 socket, one thread per
// accepted connection running the connection handler, at most a set number
// of them at once. A failed accept (out of descriptors, say) is reported and
// retried after a pause: the server never stops accepting on its own.
// Deactivation closes the listening socket and every open connection and
// waits for their threads.
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/refused_connections.h"

namespace tarvelin {

// One accepted connection, handed to the handler on the connection's thread.
class TcpConnection {
 public:
  explicit TcpConnection(int fd) : fd_(fd) {}
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Waits until bytes arrive and appends all that are waiting (at most one
  // buffer's worth) to `out`. False when the peer closed the connection, the
  // read failed or the server is being deactivated.
  bool Receive(std::string& out);

  enum class Wait { Data, Closed, TimedOut };
  // Like Receive, but gives up after `timeoutMs` without a byte (TimedOut;
  // nothing appended). Closed covers what makes Receive false.
  Wait ReceiveWithin(std::string& out, int timeoutMs);

  // Writes all of `data`; false when the connection failed.
  bool Send(std::string_view data);

  // Ends the conversation so that what was sent still arrives (see
  // HalfCloseAndDrain); the connection is closed when the handler returns.
  void Finish(int drainMs);

  // Dotted address of the peer ("" when unknown).
  std::string PeerAddress() const;

  int Fd() const { return fd_; }

 private:
  int fd_;
};

class TcpServer {
 public:
  // Runs on the connection's own thread while the connection is open; the
  // connection is closed when it returns.
  using Handler = std::function<void(TcpConnection&)>;
  // Receives a text for every failure the server meets on its own threads
  // (a failed accept, an exception that escaped the handler).
  using ErrorSink = std::function<void(const std::string&)>;
  // Told the peer address of every connection refused over the limit.
  using RefusalSink = std::function<void(const std::string& peer)>;

  TcpServer() = default;
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  void SetDefaultPort(int port) { defaultPort_ = port; }
  void SetOnExecute(Handler handler) { handler_ = std::move(handler); }
  void SetOnError(ErrorSink sink) { onError_ = std::move(sink); }
  // At most `maximum` connections are served at once (0: no bound). One more
  // gets no thread: the accept loop answers its first bytes with `refusal`
  // and closes it in order (see RefusedConnections).
  // Set before Activate or Serve.
  void SetConnectionLimit(int maximum, std::string refusal, RefusalSink onRefused);

  // Binds to the default port on every local IPv4 address and starts
  // accepting. Throws std::runtime_error naming the reason when the port
  // cannot be bound or listened on. Port 0 takes any free port (see Port()).
  void Activate();
  // Starts accepting on a socket that already listens (made with options of
  // the caller's choice); the server owns it from now on. Throws
  // std::runtime_error when the accept thread cannot be started.
  void Serve(int listenFd);

  // Stops accepting, closes every open connection and waits for all
  // connection threads to end. Safe to call more than once.
  void Deactivate();

  bool Active() const { return listenFd_ >= 0; }

  // The port actually listened on (after Activate).
  int Port() const { return boundPort_; }

 private:
  struct Worker {
    std::thread thread;
    int fd = -1;
    bool finished = false;
  };

  void AcceptLoop();
  void AcceptOne();
  bool AtLimit();
  void Refuse(int fd);
  void ReportAcceptFailure(int err);
  void StartWorker(int fd);
  void RunWorker(Worker& worker);
  void ReapFinished();
  void Report(const std::string& text);

  int defaultPort_ = 0;
  int boundPort_ = 0;
  Handler handler_;
  ErrorSink onError_;
  int maxConnections_ = 0;
  RefusalSink onRefused_;
  RefusedConnections refused_;  // used by the accept thread only
  int lastAcceptError_ = 0;       // the failure being reported, 0 after a success
  std::chrono::steady_clock::time_point lastAcceptReport_;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::thread acceptThread_;
  std::mutex workersLock_;  // guards workers_ and every worker's fd
  std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace tarvelin
