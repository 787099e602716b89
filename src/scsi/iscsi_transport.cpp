#include "scsi/iscsi_transport.h"

#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "sys/byte_order.h"

namespace korv {

using Clock = std::chrono::steady_clock;
using Ending = IscsiCompletion::Ending;

SenseBytes senseOfResponse(const uint8_t* response, size_t size) {
  if (response == nullptr || size < 2) return {};
  const size_t declared = loadBE16(response);
  return {response + 2, std::min(declared, size - 2)};
}

uint8_t finishIscsiRequest(AspiRequest& request, const IscsiCompletion& completion) {
  CommandOutcome outcome;
  SenseBytes sense;
  switch (completion.ending) {
    case Ending::Answered:
      if (completion.status == SCSI_STATUS_GOOD) {
        outcome.status = SS_COMP;
      } else if (completion.status >= 0 && completion.status <= 0xFF) {
        // A SCSI status from the target: check condition, busy, reservation conflict.
        outcome.targStat = static_cast<uint8_t>(completion.status);
        if (completion.status == SCSI_STATUS_CHECK_CONDITION)
          sense = senseOfResponse(completion.response, completion.responseSize);
      } else {
        // libiscsi's own failures: a protocol error or a cancelled task.
        outcome.haStat = HASTAT_BUS_FREE;
      }
      break;
    case Ending::ConnectionLost:
      outcome.haStat = HASTAT_BUS_FREE;
      break;
    case Ending::NotConnected:
      outcome.haStat = HASTAT_SEL_TO;
      break;
    case Ending::TimedOut:
      outcome.haStat = HASTAT_TIMEOUT;
      break;
  }
  writeBack(request, outcome, sense.data, sense.length);
  return outcome.status;
}

std::string iscsiHostOf(const std::string& portalUrl) {
  std::string rest = portalUrl.rfind("iscsi://", 0) == 0 ? portalUrl.substr(8) : portalUrl;
  rest = rest.substr(0, rest.find('/'));
  if (const size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    return close == std::string::npos ? rest : rest.substr(0, close + 1);
  }
  return rest.substr(0, rest.find(':'));
}

namespace {

constexpr auto kLogoutGrace = std::chrono::seconds(1);
constexpr auto kProbeMemory = std::chrono::seconds(1);
constexpr int kReportLunsAllocation = 4096;
constexpr int kIdlePollMs = 1000;
constexpr int kNoEventsPollMs = 100;

struct Job {
  AspiRequest* request = nullptr;
  uint8_t* data = nullptr;
  EventPump* pump = nullptr;
};

// The first level of a LUN entry of REPORT LUNS: peripheral (00b) or flat (01b) addressing.
std::optional<int> lunOfEntry(const uint8_t* entry) {
  const int method = entry[0] >> 6;
  if (method == 0) return entry[1];
  if (method == 1) return (entry[0] & 0x3F) << 8 | entry[1];
  return std::nullopt;
}

std::string initiatorName() {
  char host[64] = "localhost";
  gethostname(host, sizeof host - 1);
  std::string name = "iqn.2026-12.korvessian:";
  for (const char* c = host; *c != '\0'; ++c) {
    const char ch = *c;
    const bool plain =
        (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '.';
    name += plain ? ch : (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : '-';
  }
  return name;
}

}  // namespace

struct IscsiTransport::Impl {
  enum class State { Disconnected, Connecting, LoggingIn, Discovering, Ready };

  // A command handed to libiscsi.
  struct Active {
    Impl* owner = nullptr;
    Job job;
    scsi_task* task = nullptr;
    Clock::time_point deadline;
    bool done = false;
  };

  std::string portalUrl;
  int onlyLun = -1;
  std::chrono::seconds connectTimeout;
  std::string hostName;

  // Shared between the caller's threads and the worker.
  mutable std::mutex mutex;
  std::condition_variable probed;
  std::deque<Job> incoming;
  bool stopping = false;
  bool probeWanted = false;
  unsigned probeRound = 0;
  Clock::time_point lastFailedProbe;
  bool sessionReady = false;
  std::optional<std::set<int>> luns;
  std::string lastError;
  int wakeFd = -1;
  std::thread worker;

  // The worker's alone.
  iscsi_context* context = nullptr;
  State state = State::Disconnected;
  Clock::time_point connectDeadline;
  std::deque<Job> waiting;
  std::list<Active> active;
  scsi_task* reportLuns = nullptr;
  bool reportLunsRetried = false;
  Ending cancelEnding = Ending::ConnectionLost;  // what a cancellation means right now
  bool cancelling = false;
  std::optional<Ending> dropWanted;
  std::string dropReason;

  void wakeWorker() const {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeFd, &one, sizeof one);
  }

  void setError(const std::string& text) {
    std::lock_guard lock(mutex);
    lastError = text;
  }

  std::string contextError() const {
    const char* text = context ? iscsi_get_error(context) : nullptr;
    return text && *text ? text : "connection lost";
  }

  void requestDrop(Ending ending, std::string reason) {
    if (dropWanted) return;
    dropWanted = ending;
    dropReason = std::move(reason);
  }

  static void complete(const Job& job, const IscsiCompletion& completion) {
    const uint8_t status = finishIscsiRequest(*job.request, completion);
    EventPump& pump = *job.pump;
    setRequestStatus(*job.request, status);
    pump.wake();
  }

  // --- connection ---------------------------------------------------------------------

  void startConnect() {
    context = iscsi_create_context(initiatorName().c_str());
    if (context == nullptr) {
      failConnect("cannot create an iSCSI context");
      return;
    }
    // A tape must never see a command replayed after a reconnect: a lost session fails
    // the command in flight and the next command logs in again.
    iscsi_set_noautoreconnect(context, 1);
    iscsi_set_reconnect_max_retries(context, 0);
    iscsi_url* url = iscsi_parse_full_url(context, (portalUrl + "/0").c_str());
    if (url == nullptr) {
      failConnect(portalUrl + ": " + contextError());
      return;
    }
    iscsi_set_targetname(context, url->target);
    iscsi_set_session_type(context, ISCSI_SESSION_NORMAL);
    iscsi_set_header_digest(context, ISCSI_HEADER_DIGEST_NONE_CRC32C);
    if (url->user[0] != '\0') iscsi_set_initiator_username_pwd(context, url->user, url->passwd);
    const std::string portal = url->portal;
    iscsi_destroy_url(url);

    state = State::Connecting;
    connectDeadline = Clock::now() + connectTimeout;
    if (iscsi_connect_async(context, portal.c_str(), &Impl::onConnected, this) != 0)
      failConnect(portalUrl + ": " + contextError());
  }

  static void onConnected(iscsi_context*, int status, void*, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (impl->state != State::Connecting) return;
    if (status != SCSI_STATUS_GOOD) {
      impl->requestDrop(Ending::NotConnected, "cannot connect: " + impl->contextError());
      return;
    }
    impl->state = State::LoggingIn;
    if (iscsi_login_async(impl->context, &Impl::onLoggedIn, impl) != 0)
      impl->requestDrop(Ending::NotConnected, "login failed: " + impl->contextError());
  }

  static void onLoggedIn(iscsi_context*, int status, void*, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (impl->state != State::LoggingIn) return;
    if (status != SCSI_STATUS_GOOD) {
      impl->requestDrop(Ending::NotConnected, "login failed: " + impl->contextError());
      return;
    }
    impl->state = State::Discovering;
    impl->reportLunsRetried = false;
    impl->sendReportLuns();
  }

  void sendReportLuns() {
    reportLuns =
        iscsi_reportluns_task(context, 0, kReportLunsAllocation, &Impl::onReportLuns, this);
    if (reportLuns == nullptr) becomeReady(std::nullopt);
  }

  static void onReportLuns(iscsi_context*, int status, void* data, void* self) {
    auto* impl = static_cast<Impl*>(self);
    auto* task = static_cast<scsi_task*>(data);
    impl->reportLuns = nullptr;
    if (impl->cancelling || impl->state != State::Discovering) {
      if (task) scsi_free_scsi_task(task);
      return;
    }
    std::optional<std::set<int>> found;
    if (status == SCSI_STATUS_GOOD && task && task->datain.size >= 8) {
      const uint8_t* list = task->datain.data;
      const size_t bytes = loadBE32(list);
      const size_t end = std::min<size_t>(task->datain.size, 8 + bytes);
      found.emplace();
      for (size_t at = 8; at + 8 <= end; at += 8) {
        if (const auto lun = lunOfEntry(list + at)) found->insert(*lun);
      }
    }
    const bool unitAttention = status == SCSI_STATUS_CHECK_CONDITION && task &&
                               senseOfResponse(task->datain.data, task->datain.size).length >= 3 &&
                               (senseOfResponse(task->datain.data, task->datain.size).data[2] &
                                0x0F) == SCSI_SENSE_UNIT_ATTENTION;
    if (task) scsi_free_scsi_task(task);
    if (status == SCSI_STATUS_CANCELLED || status == SCSI_STATUS_ERROR) {
      impl->requestDrop(Ending::NotConnected, "session lost: " + impl->contextError());
      return;
    }
    if (unitAttention && !impl->reportLunsRetried) {
      // The first command of a new session may meet the reset's unit attention.
      impl->reportLunsRetried = true;
      impl->sendReportLuns();
      return;
    }
    impl->becomeReady(found);
  }

  void becomeReady(std::optional<std::set<int>> found) {
    state = State::Ready;
    {
      std::lock_guard lock(mutex);
      sessionReady = true;
      if (found) luns = std::move(found);
      lastError.clear();
    }
    finishProbe();
  }

  void finishProbe() {
    {
      std::lock_guard lock(mutex);
      probeWanted = false;
      ++probeRound;
    }
    probed.notify_all();
  }

  // A connection attempt that failed before libiscsi could report it.
  void failConnect(const std::string& reason) {
    requestDrop(Ending::NotConnected, reason);
    dropConnection();
  }

  // Ends the session (if any) and fails every command that depended on it.
  void dropConnection() {
    const Ending ending = dropWanted.value_or(Ending::ConnectionLost);
    const bool neverReady = state != State::Ready;
    setError(dropReason.empty() ? "connection lost" : dropReason);
    {
      std::lock_guard lock(mutex);
      sessionReady = false;
    }
    cancelling = true;
    cancelEnding = ending;
    if (context != nullptr) {
      // Invokes the callback of every task still out, as cancelled.
      iscsi_destroy_context(context);
      context = nullptr;
    }
    cancelling = false;
    reportLuns = nullptr;
    for (Active& entry : active) {
      if (entry.done) continue;
      scsi_free_scsi_task(entry.task);
      entry.done = true;
      complete(entry.job, {ending, 0, nullptr, 0});
    }
    active.clear();
    // Commands that waited for this session: a login that failed fails them; after a
    // session that worked, they get a fresh attempt of their own.
    if (neverReady) {
      while (!waiting.empty()) {
        complete(waiting.front(), {Ending::NotConnected, 0, nullptr, 0});
        waiting.pop_front();
      }
    }
    state = State::Disconnected;
    dropWanted.reset();
    dropReason.clear();
    finishProbe();
  }

  // --- commands -----------------------------------------------------------------------

  void dispatch(const Job& job) {
    AspiRequest& request = *job.request;
    uint8_t cdb[6];
    std::memcpy(cdb, request.CDBByte, sizeof cdb);
    int direction = SCSI_XFER_NONE;
    const int length = static_cast<int>(request.SRB_BufLen);
    if (job.data != nullptr && length > 0) {
      if (request.SRB_Flags & SRB_DIR_IN) direction = SCSI_XFER_READ;
      if (request.SRB_Flags & SRB_DIR_OUT) direction = SCSI_XFER_WRITE;
    }
    scsi_task* task =
        scsi_create_task(sizeof cdb, cdb, direction, direction == SCSI_XFER_NONE ? 0 : length);
    if (task == nullptr) {
      complete(job, {Ending::ConnectionLost, 0, nullptr, 0});
      return;
    }
    // Data in goes straight into the caller's buffer; data out is read from it.
    if (direction == SCSI_XFER_READ) scsi_task_add_data_in_buffer(task, length, job.data);
    iscsi_data out{static_cast<size_t>(length), job.data};

    active.push_back({this, job, task,
                      Clock::now() + std::chrono::seconds(commandTimeoutSeconds(cdb[0])), false});
    Active& entry = active.back();
    if (iscsi_scsi_command_async(context, request.SRB_Target, task, &Impl::onTaskDone,
                                 direction == SCSI_XFER_WRITE ? &out : nullptr, &entry) != 0) {
      scsi_free_scsi_task(task);
      entry.done = true;
      complete(job, {Ending::ConnectionLost, 0, nullptr, 0});
      requestDrop(Ending::ConnectionLost, "cannot send: " + contextError());
    }
  }

  static void onTaskDone(iscsi_context*, int status, void*, void* data) {
    auto* entry = static_cast<Active*>(data);
    Impl& impl = *entry->owner;
    if (entry->done) return;
    entry->done = true;
    IscsiCompletion completion;
    if (status == SCSI_STATUS_CANCELLED) {
      // Either our own teardown, or libiscsi giving up on a broken session.
      completion.ending = impl.cancelling ? impl.cancelEnding : Ending::ConnectionLost;
      if (!impl.cancelling)
        impl.requestDrop(Ending::ConnectionLost, "session lost: " + impl.contextError());
    } else {
      completion.status = status;
      completion.response = entry->task->datain.data;
      completion.responseSize = entry->task->datain.size;
    }
    complete(entry->job, completion);
    scsi_free_scsi_task(entry->task);
    entry->task = nullptr;
  }

  // --- the worker ---------------------------------------------------------------------

  // The socket has been closed by the target: libiscsi, told not to reconnect, keeps
  // quiet about it when no command is out.
  bool peerClosed() const {
    const int fd = iscsi_get_fd(context);
    if (fd < 0) return true;
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }

  int pollTimeoutMs(Clock::time_point now) const {
    Clock::time_point nearest = now + std::chrono::milliseconds(kIdlePollMs);
    if (state != State::Disconnected && state != State::Ready)
      nearest = std::min(nearest, connectDeadline);
    for (const Active& entry : active) {
      if (!entry.done) nearest = std::min(nearest, entry.deadline);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nearest - now);
    return static_cast<int>(std::max<int64_t>(0, wait.count() + 1));
  }

  void checkDeadlines() {
    const auto now = Clock::now();
    if (state != State::Disconnected && state != State::Ready && now >= connectDeadline)
      requestDrop(Ending::NotConnected, portalUrl + ": no answer within " +
                                            std::to_string(connectTimeout.count()) + " s");
    for (const Active& entry : active) {
      if (!entry.done && now >= entry.deadline) {
        requestDrop(Ending::TimedOut, "command timed out");
        break;
      }
    }
  }

  void logout() {
    if (context == nullptr || state != State::Ready || !active.empty()) return;
    bool finished = false;
    auto onLogout = [](iscsi_context*, int, void*, void* flag) {
      *static_cast<bool*>(flag) = true;
    };
    if (iscsi_logout_async(context, onLogout, &finished) != 0) return;
    const auto until = Clock::now() + kLogoutGrace;
    while (!finished && Clock::now() < until) {
      pollfd socket{iscsi_get_fd(context), static_cast<short>(iscsi_which_events(context)), 0};
      if (socket.fd < 0 || socket.events == 0) break;
      if (::poll(&socket, 1, 100) < 0 && errno != EINTR) break;
      if (iscsi_service(context, socket.revents) < 0) break;
    }
  }

  void run() {
    // libiscsi writes to the socket with writev, which raises SIGPIPE when the target has
    // gone; blocked in this thread, the write fails with EPIPE instead of ending the
    // program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const timespec noWait{};

    for (;;) {
      bool stop;
      bool probe;
      {
        std::lock_guard lock(mutex);
        while (!incoming.empty()) {
          waiting.push_back(incoming.front());
          incoming.pop_front();
        }
        stop = stopping;
        probe = probeWanted;
      }
      if (stop) break;

      if (state == State::Disconnected && (!waiting.empty() || probe)) startConnect();
      if (state == State::Ready) {
        if (probe) finishProbe();
        while (!waiting.empty() && state == State::Ready && !dropWanted) {
          const Job job = waiting.front();
          waiting.pop_front();
          dispatch(job);
        }
        active.remove_if([](const Active& entry) { return entry.done; });
      }
      if (dropWanted) {
        dropConnection();
        continue;
      }

      pollfd fds[2] = {{wakeFd, POLLIN, 0}, {-1, 0, 0}};
      int count = 1;
      int timeout = pollTimeoutMs(Clock::now());
      if (context != nullptr) {
        const int events = iscsi_which_events(context);
        fds[1] = {iscsi_get_fd(context), static_cast<short>(events), 0};
        if (fds[1].fd >= 0 && events != 0) {
          count = 2;
        } else {
          timeout = std::min(timeout, kNoEventsPollMs);
        }
      }
      if (::poll(fds, count, timeout) < 0 && errno != EINTR) break;
      if (fds[0].revents & POLLIN) {
        uint64_t value;
        [[maybe_unused]] ssize_t got = ::read(wakeFd, &value, sizeof value);
      }
      if (context != nullptr && count == 2 && fds[1].revents != 0) {
        if (iscsi_service(context, fds[1].revents) < 0) {
          requestDrop(state == State::Ready ? Ending::ConnectionLost : Ending::NotConnected,
                      "session lost: " + contextError());
        } else if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && state != State::Connecting &&
                   peerClosed()) {
          requestDrop(state == State::Ready ? Ending::ConnectionLost : Ending::NotConnected,
                      "the target closed the connection");
        }
      }
      while (sigtimedwait(&pipe, nullptr, &noWait) > 0) {
      }
      checkDeadlines();
      if (dropWanted) dropConnection();
    }

    // Shutting down: say goodbye when idle, then fail whatever is left.
    logout();
    requestDrop(Ending::ConnectionLost, "closed");
    {
      std::lock_guard lock(mutex);
      while (!incoming.empty()) {
        waiting.push_back(incoming.front());
        incoming.pop_front();
      }
    }
    state = State::Connecting;  // so that waiting commands are failed too
    dropConnection();
  }
};

IscsiTransport::IscsiTransport(std::string portalUrl, int onlyLun,
                               std::chrono::seconds connectTimeout)
    : impl_(std::make_unique<Impl>()) {
  impl_->portalUrl = std::move(portalUrl);
  impl_->onlyLun = onlyLun;
  impl_->connectTimeout = connectTimeout;
  impl_->hostName = iscsiHostOf(impl_->portalUrl);
  impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  impl_->worker = std::thread([this] { impl_->run(); });
}

IscsiTransport::~IscsiTransport() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->wakeWorker();
  impl_->worker.join();
  ::close(impl_->wakeFd);
}

uint8_t IscsiTransport::submit(AspiRequest& request, uint8_t* data, EventPump& pump) {
  const int lun = request.SRB_Target;
  {
    std::lock_guard lock(impl_->mutex);
    const bool absent =
        (impl_->onlyLun >= 0 && lun != impl_->onlyLun) || (impl_->luns && !impl_->luns->count(lun));
    if (absent) {
      setRequestStatus(request, SS_NO_DEVICE);
      return SS_NO_DEVICE;
    }
    setRequestStatus(request, SS_PENDING);
    impl_->incoming.push_back({&request, data, &pump});
  }
  impl_->wakeWorker();
  return SS_PENDING;
}

HostAdapterInfo IscsiTransport::hostAdapter() {
  HostAdapterInfo info;
  std::unique_lock lock(impl_->mutex);
  // A question asked again right after a failed attempt (the terminal asks twice while
  // binding) takes that answer instead of waiting out another connect timeout.
  const bool justFailed = Clock::now() - impl_->lastFailedProbe < kProbeMemory;
  if (!impl_->sessionReady && !justFailed) {
    impl_->probeWanted = true;
    const unsigned round = impl_->probeRound;
    impl_->wakeWorker();
    // The worker gives up at the connect deadline; the margin covers its last poll.
    impl_->probed.wait_for(lock, impl_->connectTimeout + std::chrono::seconds(2),
                           [&] { return impl_->probeRound != round; });
    if (!impl_->sessionReady) impl_->lastFailedProbe = Clock::now();
  }
  info.ready = impl_->sessionReady;
  std::set<int> occupied;
  if (impl_->onlyLun >= 0) {
    occupied.insert(impl_->onlyLun);
  } else if (impl_->luns) {
    occupied = *impl_->luns;
  }
  info.ownId = chooseOwnId(occupied);
  info.managerId = "libiscsi";
  info.identifier = impl_->hostName.substr(0, 16);
  return info;
}

std::string IscsiTransport::lastError() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->lastError;
}

}  // namespace korv
