#include "hosts/inspect/InspectBatch.h"

#include "hosts/common/StagedDecoding.h"
#include "hosts/inspect/InspectJson.h"
#include "hosts/inspect/InspectLineReader.h"
#include "platform/HttpSession.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace zibbles::inspect {

namespace {

constexpr std::size_t maximumLine = platform::HttpSession::maxBodyBytes;
// Lines are decoded in chunks of about this much input, each by one worker. A few typical answers
// a chunk: the chunks under way then span few pages, and touching a page for the first time
// costs a batch more than handing a chunk over does (1 MiB chunks took 15 % more CPU).
constexpr std::size_t chunkBytes = 1u << 18;
constexpr unsigned maximumWorkers = 4;

// Consecutive input lines and, once a worker is done, their answers. A chunk that has been
// written out is filled again: its buffers keep their room, so a batch of any size allocates them
// once instead of touching fresh pages for every chunk.
struct Chunk {
    // Room for a chunk's worth and a typical line more, so that filling it never copies it over.
    Chunk() { input.reserve(inputRoom); }

    void clear() {
        // A chunk that took a line of many megabytes gives that room back, so that a few such
        // lines do not keep every chunk that large.
        if (input.capacity() > keptRoom)
            std::string().swap(input);
        if (output.capacity() > keptRoom)
            std::string().swap(output);
        input.clear();
        input.reserve(inputRoom);
        lines.clear();
        output.clear();
        allDecoded = true;
        done = false;
    }

    static constexpr std::size_t inputRoom = chunkBytes + chunkBytes / 2;
    static constexpr std::size_t keptRoom = 4 * chunkBytes;

    std::string input;
    std::vector<std::pair<std::size_t, std::size_t>> lines; // offset, length; length npos: too long
    std::string output;
    bool allDecoded = true;
    bool done = false;
};

constexpr std::size_t tooLongLine = std::string::npos;

host::StagedDecoding tooLong() {
    return host::StagedDecoding{
        {},
        Decoded<Pixels>::failure(DecodeStage::RpcResponse,
                                 "the line is longer than the 16 MiB an answer "
                                 "may hold")};
}

void decodeChunk(Chunk& chunk) {
    for (const auto& [offset, length] : chunk.lines) {
        const host::StagedDecoding inspection =
            length == tooLongLine
                ? tooLong()
                : host::decodeStaged(std::string_view(chunk.input).substr(offset, length),
                                     host::InputKinds::RpcOrHexOnly);
        chunk.allDecoded = chunk.allDecoded && bool(inspection.pixels);
        appendInspectionJson(chunk.output, inspection);
        chunk.output += '\n';
    }
}

// Chunks go to the workers in input order and come out in the same order; at most a few wait at
// once, so memory stays flat whatever the input's size.
class Pipeline {
  public:
    explicit Pipeline(unsigned workers) {
        for (unsigned i = 0; i < workers; ++i)
            workers_.emplace_back([this] { work(); });
        limit_ = 2 * workers;
    }
    ~Pipeline() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        queued_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    // Main thread. Hands the chunk on; writes what is done, in order, waiting while too many are
    // under way.
    void submit(std::unique_ptr<Chunk> chunk, OutputBuffer& out, BatchResult& result) {
        std::unique_lock lock(mutex_);
        todo_.push_back(chunk.get());
        inOrder_.push_back(std::move(chunk));
        queued_.notify_one();
        drain(lock, out, result, limit_);
    }
    // Main thread. Writes everything, in order.
    void finish(OutputBuffer& out, BatchResult& result) {
        std::unique_lock lock(mutex_);
        drain(lock, out, result, 0);
    }
    // Main thread. An empty chunk to fill: one already written out, else a new one.
    std::unique_ptr<Chunk> emptyChunk() {
        if (spare_.empty())
            return std::make_unique<Chunk>();
        std::unique_ptr<Chunk> chunk = std::move(spare_.back());
        spare_.pop_back();
        chunk->clear();
        return chunk;
    }

  private:
    void drain(std::unique_lock<std::mutex>& lock, OutputBuffer& out, BatchResult& result,
               std::size_t keep) {
        for (;;) {
            while (!inOrder_.empty() && inOrder_.front()->done) {
                std::unique_ptr<Chunk> chunk = std::move(inOrder_.front());
                inOrder_.pop_front();
                lock.unlock();
                result.allDecoded = result.allDecoded && chunk->allDecoded;
                out.write(chunk->output);
                spare_.push_back(std::move(chunk));
                lock.lock();
            }
            if (inOrder_.size() <= keep)
                return;
            finished_.wait(lock);
        }
    }

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return closing_ || !todo_.empty(); });
            if (todo_.empty())
                return;
            Chunk* chunk = todo_.front();
            todo_.pop_front();
            lock.unlock();
            decodeChunk(*chunk);
            lock.lock();
            chunk->done = true;
            finished_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable queued_, finished_;
    std::deque<std::unique_ptr<Chunk>> inOrder_; // submitted, not yet written
    std::deque<Chunk*> todo_;                    // submitted, not yet taken by a worker
    std::vector<std::unique_ptr<Chunk>> spare_;  // written out, to be filled again (main thread)
    std::size_t limit_ = 0;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

unsigned workerCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, maximumWorkers);
}

} // namespace

BatchResult inspectBatch(int fd, OutputBuffer& out) {
    LineReader reader(fd, maximumLine);
    BatchResult result;
    Pipeline pipeline(workerCount());
    std::unique_ptr<Chunk> chunk = pipeline.emptyChunk();
    std::string_view line;
    for (LineReader::Next next; (next = reader.next(line)) != LineReader::Next::End;) {
        if (next == LineReader::Next::ReadError) {
            result.readError = std::strerror(reader.readError());
            break;
        }
        if (next == LineReader::Next::TooLong) {
            chunk->lines.emplace_back(0, tooLongLine);
        } else {
            chunk->lines.emplace_back(chunk->input.size(), line.size());
            chunk->input.append(line);
        }
        if (chunk->input.size() >= chunkBytes) {
            pipeline.submit(std::move(chunk), out, result);
            chunk = pipeline.emptyChunk();
        }
    }
    if (!chunk->lines.empty())
        pipeline.submit(std::move(chunk), out, result);
    pipeline.finish(out, result);
    return result;
}

} // namespace zibbles::inspect
