// TKNConfigFile: all reading and writing of the configuration file. It knows the records only
// by their sizes and the two counts in the header; meaning is TKNConfig's business.
//
// No file handle is held between calls: each operation opens the file, works, and closes it,
// unless it is handed an open TKNConfigStream. Every failure is caught and turned into a false
// result (with a message in ErrorText()); nothing is shown to the user.
//
// A file that cannot be read, or is of an unknown version (0, or above 8), leaves Ok false and
// is never written: every read and write then returns false at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/kn_unitConfigLists.h"
#include "config/kn_unitConfigRecords.h"

namespace kn {

// An open file, read and written at its current position. Closed when the object goes.
class TKNConfigStream {
public:
    TKNConfigStream() = default;
    ~TKNConfigStream();
    TKNConfigStream(const TKNConfigStream&) = delete;
    TKNConfigStream& operator=(const TKNConfigStream&) = delete;

    bool OpenRead(const std::string& path);
    // Takes over an open descriptor.
    void Attach(int fd);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }

    // Reads up to `size` bytes; returns how many were read (short only at the end or on an
    // error).
    std::size_t Read(void* buffer, std::size_t size);
    // True when all `size` bytes were written.
    bool Write(const void* buffer, std::size_t size);
    // Moves forward by `offset` bytes from the current position; returns the new position, or
    // -1 on failure. Moving past the end of the file succeeds.
    int64_t SeekForward(int64_t offset);

private:
    int fd_ = -1;
};

class TKNConfigFile {
public:
    // Makes `fileName` usable: creates it when it does not exist, otherwise checks its header
    // and upgrades a file of version 1 to 7 in place. A new file gets DefaultHeader(area, home).
    TKNConfigFile(std::string fileName, const TKNWorkArea& area);

    const std::string& FileName() const { return fileName_; }
    bool Ok() const { return ok_; }
    bool Created() const { return created_; }
    // What went wrong in the last operation that failed; "" when none did.
    const std::string& ErrorText() const { return error_; }

    // Reads 4096 bytes from the stream's position (position 0 of the file when `stream` is
    // null). True when all 4096 bytes were read.
    bool ReadHeader(TKNConfigHeader& buffer, TKNConfigStream* stream = nullptr);
    // Replace the list with the file's records; records cut short by the end of the file are
    // dropped. False (list untouched) when the header cannot be read.
    bool ReadPresets(TKNPresetList& list);
    bool ReadBatches(TKNBatchList& list);
    // Writes all 4096 bytes of `buffer` when `full`, else its first 2240 (everything before
    // PresetCount), at the stream's position. Without a stream, into the file's header, the
    // file being written whole under a temporary name and renamed over the old one: the counts
    // then follow the lists on disk, and a normal write takes the differences window's settings
    // (DiffSettings, DiffIgnorePattern) as well.
    bool WriteHeader(const TKNConfigHeader& buffer, bool full, TKNConfigStream* stream = nullptr);
    // Replace the presets (batches) in the file, keeping the header and the batches (presets)
    // that are on disk, with the counts set to what is written. The new content goes to a
    // temporary file beside the old one, which is renamed over it only once complete: a failure
    // leaves the old file as it was and returns false. `written` receives the header written.
    bool SavePresets(const TKNPresetList& list, TKNConfigHeader* written = nullptr);
    bool SaveBatches(const TKNBatchList& list, TKNConfigHeader* written = nullptr);
    // Every preset and then every batch at the stream's position; false at the first
    // incomplete write.
    bool WriteLists(const TKNPresetList& presets, const TKNBatchList& batches, TKNConfigStream& stream);

private:
    bool Fail(const std::string& what);
    void CreateDefaultFile(const TKNWorkArea& area);
    bool CheckHeader();
    void UpgradeFile();
    bool SaveWith(TKNConfigHeader header, const TKNPresetList& presets, const TKNBatchList& batches,
                  TKNConfigHeader* written);
    // Writes the new content through `write` into a temporary file beside the file (or beside
    // the target of a link) and renames it over the file once complete and synced.
    bool ReplaceContent(const std::function<bool(TKNConfigStream&)>& write);

    std::string fileName_;
    bool ok_ = false;
    bool created_ = false;
    std::string error_;
};

}  // namespace kn
