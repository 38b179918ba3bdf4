#include "engine/bulk.h"
#include "platform/fspath.h"

#include "waveform/comtrade.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace qarn3 {

namespace fs = std::filesystem;

namespace {

bool isHidden(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Adds the waveform files and COMTRADE recordings of a folder and its subfolders in name order, and
// an entry for each folder that cannot be read; returns how many entries it added.
std::size_t walkFolder(const std::string& folder, std::vector<InputFile>& out) {
    std::error_code ec;
    fs::directory_iterator it(fsPath(folder), ec);
    if (ec) {
        out.push_back({folder, "Cannot read folder " + folder + ": " + ec.message()});
        return 1;
    }
    struct Entry {
        std::string name;
        bool folder;
        std::string error; // an entry the system cannot look at (a path past its limit)
    };
    std::vector<Entry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = utf8Of(it->path().filename());
        if (isHidden(name)) continue;
        // A link to a folder is not followed: a link back up the tree would never end.
        // The types come with the listing where the file system gives them, so a path past
        // the system's limit is still known as a folder or a file; what cannot be looked at
        // is said, not skipped.
        std::error_code statusError;
        const bool link = it->is_symlink(statusError);
        const bool subfolder = !statusError && !link && it->is_directory(statusError);
        if (statusError) {
            entries.push_back({name, false, statusError.message()});
        } else if (subfolder) {
            entries.push_back({name, true, {}});
        } else if (isInputFileName(name)) {
            const fs::file_status target = it->status(statusError);
            // A link to nothing is no waveform file; any other failure is reported.
            if (fs::is_regular_file(target))
                entries.push_back({name, false, {}});
            else if (statusError && statusError != std::errc::no_such_file_or_directory)
                entries.push_back({name, false, statusError.message()});
        }
    }
    if (ec) {
        out.push_back({folder, "Cannot read folder " + folder + ": " + ec.message()});
        return 1;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    std::size_t found = 0;
    for (const Entry& e : entries) {
        const std::string path = joinPath(folder, e.name);
        if (!e.error.empty()) {
            out.push_back({path, "Cannot read " + path + ": " + e.error});
            ++found;
        } else if (e.folder) {
            found += walkFolder(path, out);
        } else {
            out.push_back({path, {}});
            ++found;
        }
    }
    return found;
}

AnalysisResult failedResult(const std::string& path, const std::string& error) {
    AnalysisResult r;
    r.waveFile = path;
    r.error = error;
    return r;
}

AnalysisResult analyzeOne(WaveAnalyzer& analyzer, const InputFile& input, AnalysisOptions options,
                          const AnalysisSettings& settings) {
    if (!input.error.empty()) return failedResult(input.path, input.error);
    options.waveFile = input.path;
    try {
        return analyzer.analyze(options, settings);
    } catch (const std::exception& e) {
        return failedResult(input.path,
                            std::string("Cannot analyse ") + input.path + ": " + e.what());
    }
}

} // namespace

bool isInputFileName(const std::string& name) {
    if (name.size() < 5) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".owf" || ext == ".cfg" || ext == ".cff";
}

std::vector<InputFile> expandInputs(const std::vector<std::string>& args,
                                    std::vector<std::string>& notes) {
    std::vector<InputFile> out;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (fs::is_directory(fsPath(arg), ec) && isComtradeName(arg)) {
            // Named as a recording: walking it would end the run as if all were well.
            out.push_back({arg, "Cannot read " + arg + ": it is a folder, not a recording"});
        } else if (fs::is_directory(fsPath(arg), ec)) {
            if (walkFolder(arg, out) == 0)
                notes.push_back(
                    "No waveform files (*.owf) or COMTRADE recordings (*.cfg, *.cff) in " + arg);
        } else {
            // Missing and unreadable files are reported when they are analysed.
            out.push_back({arg, {}});
        }
    }
    return out;
}

void analyzeAll(const std::vector<InputFile>& inputs, const AnalysisOptions& options,
                const AnalysisSettings& settings, unsigned workers,
                const std::function<void(const AnalysisResult&)>& emit,
                const std::function<void(std::size_t, std::size_t)>& progress) {
    const std::size_t total = inputs.size();
    workers =
        static_cast<unsigned>(std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(total, 1)));
    if (workers == 1) {
        WaveAnalyzer analyzer;
        for (std::size_t i = 0; i < total; ++i) {
            emit(analyzeOne(analyzer, inputs[i], options, settings));
            if (progress) progress(i + 1, total);
        }
        return;
    }

    // Each worker takes the next file and leaves its result in that file's slot; only the
    // slots and the count of finished files are shared, under the lock.
    std::vector<std::optional<AnalysisResult>> slots(total);
    std::mutex lock;
    std::condition_variable finished;
    std::size_t done = 0;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        WaveAnalyzer analyzer; // this worker's own engine buffers and records
        for (std::size_t i = next++; i < total; i = next++) {
            AnalysisResult r = analyzeOne(analyzer, inputs[i], options, settings);
            {
                const std::lock_guard<std::mutex> guard(lock);
                slots[i] = std::move(r);
                ++done;
            }
            finished.notify_one();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers);
    // A system that refuses more threads leaves the work to those that started, or to this
    // thread alone when none did; a refused thread must not end the whole analysis.
    for (unsigned w = 0; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads.empty()) work();

    // The results go out in order; the count of finished files goes to progress meanwhile.
    std::size_t reported = 0;
    try {
        for (std::size_t i = 0; i < total;) {
            std::optional<AnalysisResult> r;
            std::size_t doneNow = 0;
            {
                std::unique_lock<std::mutex> guard(lock);
                finished.wait(guard, [&] { return slots[i].has_value() || done > reported; });
                doneNow = done;
                r.swap(slots[i]);
            }
            if (progress && doneNow > reported) progress(doneNow, total);
            reported = doneNow;
            if (r) {
                emit(*r);
                ++i;
            }
        }
    } catch (...) {
        next = total; // the workers finish the file in hand and stop
        for (std::thread& t : threads)
            t.join();
        throw;
    }
    for (std::thread& t : threads)
        t.join();
}

} // namespace qarn3
