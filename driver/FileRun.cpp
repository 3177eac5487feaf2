#include "driver/FileRun.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "driver/CapturedOutput.h"
#include "driver/ConvertFile.h"
#include "driver/DriverState.h"
#include "driver/FrameLoop.h"
#include "driver/RunOptions.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileNameList.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <thread>
#include <unordered_map>
#include <unistd.h>

namespace {

// Progress output, the pipeline and its failure report for one file, on
// the calling thread's channels and accumulation buffer.
bool RunFile(const FileJob& job, const qzcCmdLineParser& parser, const qzmMedicalFrame::ConversionSettings& settings) {
  FileRank = job.rank;
  FileCount = job.count;
  OutputMissing = false;
  // The channels' limits stop a runaway within one file, never a batch: each
  // file counts its own reports, as each file on a worker thread does.
  qzcException::errorChannel.count = qzcException::warningChannel.count = 0;
  const bool showName = parser.GetBoolOption("name", false);
  std::ostream* progress = qzcException::messageChannel.Active();
  if (progress && parser.GetBoolOption("rank", false))
    *progress << "[" << job.rank << "] " << std::flush;
  if (progress && showName)
    *progress << job.name << " " << std::flush;
  const bool converted = convert_file(job.name, parser, settings);
  if (!converted)
    qzcError(MainSignature, "while processing file %s!", job.name.c_str()).Report();
  if (progress && showName)
    *progress << std::endl;
  return converted && !OutputMissing;
}

// The walk over the list on worker threads, the calling thread being one of
// them. A worker takes the next file only while fewer than two per worker
// are converted or waiting to be shown, so that memory stays bounded however
// long the list. The worker that finishes a file shows, in list order, every
// finished file at the head of the list, unless another worker is showing
// them already: no thread sleeps and wakes per file, which on few cores costs
// as much as converting it. A file is done once shown.
class ParallelRun {
 public:
  ParallelRun(const std::vector<FileJob>& jobs, const qzcCmdLineParser& parser,
              const qzmMedicalFrame::ConversionSettings& settings, unsigned workers)
      : jobs_(jobs), parser_(parser), settings_(settings), slots_(2 * workers), buffers_(workers) {}

  bool Run() {
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < buffers_.size(); ++w)
      threads.emplace_back(&ParallelRun::Work, this, w);
    Work(0);
    RestoreCallerChannels();
    for (std::thread& thread : threads)
      thread.join();
    MergeAccumulations();
    return allDone_;
  }

 private:
  struct Slot {
    CapturedOutput output;
    bool finished = false;
    bool succeeded = false;
  };
  // The order of the list, for the file a worker has in hand.
  class WorkerOrder : public FileOrder {
   public:
    explicit WorkerOrder(ParallelRun& run) : run_(run) {}
    bool ClaimOutput(const qzcString& name) override { return run_.ClaimOutput(name, job); }
    void WaitForEarlierFiles() override { run_.WaitUntilShown(job); }
    bool Accumulate(const qzmMedicalFrame& frame, const qzcString& mode) override {
      return run_.Accumulate(frame, mode, job, *buffer);
    }
    std::size_t job = 0;
    qzmMedicalFrame* buffer = nullptr;

   private:
    ParallelRun& run_;
  };

  // The worker's channels write into the slot of the file in hand, for the
  // streams the calling thread's channels write to.
  void PointChannelsAt(CapturedOutput& output) const {
    qzcException::errorChannel = errors_;
    qzcException::errorChannel.stream = output.For(errors_.stream);
    qzcException::warningChannel = warnings_;
    qzcException::warningChannel.stream = output.For(warnings_.stream);
    PointAt(qzcException::messageChannel, messages_, output);
    PointAt(qzcException::dataChannel, data_, output);
    PointAt(qzcException::diagnosticChannel, diagnostics_, output);
  }

  static void PointAt(qzcChannel& channel, const qzcChannel& model, CapturedOutput& output) {
    channel = model;
    channel.stream = output.For(model.stream);
  }

  void RestoreCallerChannels() const {
    qzcException::errorChannel = errors_;
    qzcException::warningChannel = warnings_;
    qzcException::messageChannel = messages_;
    qzcException::dataChannel = data_;
    qzcException::diagnosticChannel = diagnostics_;
  }

  // The file that claimed a name last keeps it; a later file waits for the
  // earlier one to be done before it writes the name again.
  bool ClaimOutput(const qzcString& name, std::size_t job) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto claim = claims_.emplace(name, job);
    if (claim.second) {
      claimsOfJob_[job].push_back(name);
      return true;
    }
    const std::size_t holder = claim.first->second;
    if (holder >= job)
      return holder == job;
    claim.first->second = job;
    claimsOfJob_[job].push_back(name);
    roomFreed_.wait(lock, [this, holder] { return shown_ > holder; });
    return true;
  }

  void WaitUntilShown(std::size_t job) {
    std::unique_lock<std::mutex> lock(mutex_);
    roomFreed_.wait(lock, [this, job] { return shown_ >= job; });
  }

  // Names claimed by a file that is done need no more care: whoever claims
  // them next comes later in the list.
  void ForgetClaims(std::size_t job) {
    const auto names = claimsOfJob_.find(job);
    if (names == claimsOfJob_.end())
      return;
    for (const qzcString& name : names->second) {
      const auto claim = claims_.find(name);
      if (claim != claims_.end() && claim->second == job)
        claims_.erase(claim);
    }
    claimsOfJob_.erase(names);
  }

  // The first file of the list whose frame is accumulated sets the buffer
  // every worker starts from: a file waits for the earlier ones only while
  // none has. Maximum and minimum do not mind a buffer taken in twice.
  bool Accumulate(const qzmMedicalFrame& frame, const qzcString& mode, std::size_t job, qzmMedicalFrame& buffer) {
    if (!buffer.Structure.PhotometricInterpretation.empty())
      return buffer.Accumulate(frame, mode);
    bool firstOfList;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      roomFreed_.wait(lock, [this, job] { return startSet_ || shown_ >= job; });
      firstOfList = !startSet_;
    }
    if (!firstOfList) {
      buffer.Accumulate(start_, mode);
      return buffer.Accumulate(frame, mode);
    }
    if (!buffer.Accumulate(frame, mode))
      return false;
    start_.Accumulate(buffer, mode);
    std::lock_guard<std::mutex> lock(mutex_);
    startSet_ = true;
    roomFreed_.notify_all();
    return true;
  }

  void Work(unsigned worker) {
    WorkerOrder order(*this);
    order.buffer = &buffers_[worker];
    FileOrder* const callerOrder = CurrentFileOrder;
    CurrentFileOrder = &order;
    for (std::size_t job; TakeJob(job);) {
      order.job = job;
      Slot& slot = slots_[job % slots_.size()];
      PointChannelsAt(slot.output);
      const bool succeeded = RunFile(jobs_[job], parser_, settings_);
      Finish(slot, succeeded);
    }
    CurrentFileOrder = callerOrder;
  }

  bool TakeJob(std::size_t& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    roomFreed_.wait(lock, [this] { return next_ >= jobs_.size() || next_ < shown_ + slots_.size(); });
    if (next_ >= jobs_.size())
      return false;
    job = next_++;
    return true;
  }

  void Finish(Slot& slot, bool succeeded) {
    std::unique_lock<std::mutex> lock(mutex_);
    slot.succeeded = succeeded;
    slot.finished = true;
    if (showing_)
      return;
    // The showing worker looks again after each file, so a file finished
    // meanwhile is not left behind.
    showing_ = true;
    for (Slot* head = &HeadSlot(); shown_ < jobs_.size() && head->finished; head = &HeadSlot()) {
      lock.unlock();
      head->output.Replay();
      lock.lock();
      allDone_ = allDone_ && head->succeeded;
      head->finished = false;
      ForgetClaims(shown_);
      ++shown_;
      roomFreed_.notify_all();
    }
    showing_ = false;
  }

  Slot& HeadSlot() { return slots_[shown_ % slots_.size()]; }

  // Every filled buffer started from the same one: they merge in any order.
  void MergeAccumulations() {
    for (const qzmMedicalFrame& buffer : buffers_)
      if (!buffer.Structure.PhotometricInterpretation.empty())
        AccumulatedFrame.Accumulate(buffer, qzcString(parser_.GetOptionValue("acc")).GetField(1));
  }

  const std::vector<FileJob>& jobs_;
  const qzcCmdLineParser& parser_;
  const qzmMedicalFrame::ConversionSettings& settings_;
  // The calling thread's channels, copied by every worker.
  const qzcReportChannel errors_ = qzcException::errorChannel;
  const qzcReportChannel warnings_ = qzcException::warningChannel;
  const qzcChannel messages_ = qzcException::messageChannel;
  const qzcChannel data_ = qzcException::dataChannel;
  const qzcChannel diagnostics_ = qzcException::diagnosticChannel;

  std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::size_t next_ = 0;
  std::size_t shown_ = 0;
  bool showing_ = false;
  bool allDone_ = true;
  std::vector<Slot> slots_;
  std::vector<qzmMedicalFrame> buffers_;
  qzmMedicalFrame start_;
  bool startSet_ = false;
  // Output names of the files not yet done: the file that claimed each
  // last, and the names each file claimed.
  std::unordered_map<std::string, std::size_t> claims_;
  std::unordered_map<std::size_t, std::vector<qzcString>> claimsOfJob_;
};

}  // namespace

// Positions are counted in full, so that --step keeps selecting the right
// files past 65535 of them; the counters the names use are 16-bit.
std::vector<FileJob> SelectFiles(const qzcFileNameList& files, UWORD step) {
  std::vector<FileJob> jobs;
  std::size_t position = 0;
  for (const qzcFileName& file : files) {
    if (position % step == 0)
      jobs.push_back(FileJob{file, UWORD(position + 1), UWORD(jobs.size() + 1)});
    ++position;
  }
  return jobs;
}

bool ReadJobs(const qzcCmdLineParser& parser, unsigned& workers) {
  workers = 0;
  qzcString value;
  if (!GetPresentOption(parser, "jobs", value))
    return true;
  char* end = nullptr;
  const long asked = value.empty() ? 0 : std::strtol(value.c_str(), &end, 10);
  if (!value.empty() && (*end != '\0' || asked < 0 || asked > 4096)) {
    qzcError(MainSignature, "wrong argument %s to --jobs!", value.c_str()).Report();
    return false;
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  workers = asked > 0 ? unsigned(asked) : unsigned(online > 0 ? online : 1);
  return true;
}

bool RunFiles(const std::vector<FileJob>& jobs, const qzcCmdLineParser& parser,
              const qzmMedicalFrame::ConversionSettings& settings, unsigned workers) {
  if (workers <= 1 || jobs.size() <= 1) {
    bool allDone = true;
    for (const FileJob& job : jobs)
      allDone = RunFile(job, parser, settings) && allDone;
    return allDone;
  }
  // Loaded here, once, rather than by whichever worker first needs it.
  if (qzmDicomDataElementSet::GetDictionary() == nullptr) {
    qzmDicomDataElementDictionary& dictionary = qzmDicomDataElementDictionary::ProcessWide();
    if (dictionary.AutoLoad())
      qzmDicomDataElementSet::SetDictionary(&dictionary);
  }
  return ParallelRun(jobs, parser, settings, workers).Run();
}
