#pragma once
// The DICOM listener: accepts connections on one port and starts a
// ChildThread for each, without an upper bound, until it is asked to end.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class ServerThread {
 public:
  explicit ServerThread(std::string port) : port_(std::move(port)) {}
  // Joins the thread when it was started and has not been waited for.
  ~ServerThread();
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  // Runs Execute on a thread of its own.
  void Start();
  // Asks the listener to end; it sees the request after its next accept.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  const std::string& Port() const { return port_; }
  // Waits up to `ms` for Execute to return and joins the thread; false when
  // it is still running (the thread is then left to end on its own).
  bool WaitFor(int ms);

  // The thread body.
  void Execute();

 private:
  void MarkEnded();

  std::string port_;
  std::atomic<bool> terminated_{false};
  std::thread thread_;
  std::mutex endMutex_;
  std::condition_variable endSignal_;
  bool ended_ = false;
};
