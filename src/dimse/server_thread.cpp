#include "dimse/server_thread.h"

#include <unistd.h>

#include <chrono>

#include "dimse/child_thread.h"
#include "net/socket.h"
#include "service/log.h"

ServerThread::~ServerThread() {
  if (thread_.joinable()) thread_.join();
}

void ServerThread::Start() {
  thread_ = std::thread([this] {
    Execute();
    MarkEnded();
  });
}

void ServerThread::MarkEnded() {
  std::lock_guard<std::mutex> hold(endMutex_);
  ended_ = true;
  endSignal_.notify_all();
}

bool ServerThread::WaitFor(int ms) {
  std::unique_lock<std::mutex> hold(endMutex_);
  if (!endSignal_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return ended_; })) {
    hold.unlock();
    if (thread_.joinable()) thread_.detach();
    return false;
  }
  hold.unlock();
  if (thread_.joinable()) thread_.join();
  return true;
}

void ServerThread::Execute() {
  Socket listener;
  if (!listener.Listen(port_)) {
    WriteLog("ERROR: Couldn't initialize port: " + port_);
    return;
  }
  WriteLog("Initialize DICOM port: " + port_);
  // MppsLock lives in ServerSettings for the whole process, so associations
  // still running after the listener has ended can always take it.

  while (!Terminated()) {
    if (!listener.Accept()) break;
    // The stop handler's wake-up connection: it is closed with the listener.
    if (Terminated()) break;
    const int handle = listener.Detach();
    try {
      ChildThread::Start(handle);
    } catch (...) {
      WriteLog("ERROR, Exception in Server Thread Loop");
      ::close(handle);
    }
  }
}
