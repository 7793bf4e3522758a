#include "housekeeping/timer_thread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "hl7/drop_folder.h"
#include "housekeeping/worklist_ageing.h"
#include "platform/clock.h"
#include "platform/file_version.h"
#include "service/log.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
constexpr int kAgeingTicks = 60;  // ten minutes
constexpr int kScanTicks = 6;     // one minute

std::string DayOfMonth() {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", LocalTime(Now()).tm_mday);
  return text;
}
}  // namespace

TimerThread::TimerThread(std::string executable, int periodMs)
    : executable_(std::move(executable)), periodMs_(periodMs) {}

TimerThread::~TimerThread() {
  Terminate();
  if (ended_.valid()) ended_.wait();
}

void TimerThread::Start() {
  std::packaged_task<void()> loop([this] { Execute(); });
  ended_ = loop.get_future();
  std::thread(std::move(loop)).detach();
}

void TimerThread::Terminate() {
  {
    std::lock_guard<std::mutex> hold(wakeLock_);
    terminated_ = true;
  }
  wake_.notify_all();
}

bool TimerThread::WaitFor(int ms) {
  return !ended_.valid() || ended_.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

bool TimerThread::Sleep() {
  std::unique_lock<std::mutex> hold(wakeLock_);
  return !wake_.wait_for(hold, std::chrono::milliseconds(periodMs_), [this] { return terminated_.load(); });
}

void TimerThread::Execute() {
  while (Sleep()) {
    try {
      Tick();
    } catch (const std::exception& e) {
      WriteLog(std::string("ERROR, TimerThread, ") + e.what());
    } catch (...) {
      WriteLog("ERROR, TimerThread, unexpected failure");
    }
  }
}

void TimerThread::Tick() {
  ++ticks_;
  if (ticks_ % kAgeingTicks == 0) {
    const std::string day = DayOfMonth();
    if (day != lastDay_) {
      SetLogTarget(DailyLogPath());
      WriteLog("INFO, TRVSVC V" + FileVersionText(executable_));
    }
    lastDay_ = day;
    const ServerSettingsRecord& s = ServerSettings;
    if (ageing_.Held())
      UpdateWorklistStatus(s.PACS_AET, s.PACS_IP, s.PACS_Port, s.WL_AET, s.DeletePACS, s.DeleteOld,
                           [this] { return Terminated(); });
  }
  if (ticks_ % kScanTicks == 0 && scanning_.Held()) CheckHL7Messages();
}

}  // namespace tarvelin
