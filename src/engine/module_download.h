// Downloading a module file straight into the ".new" file of its
// replacement, in two steps a caller can keep apart: the download into the
// staging file, and the replacement from it. Between the two the caller may
// still refuse the content (a digest that does not match): dropping the
// staged file installs nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/date_value.h"
#include "common/expected.h"
#include "engine/error_record.h"
#include "engine/file_replacement.h"

namespace tw {

struct EngineContext;

// Watches one download; every method is called on the downloading thread.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  // Every piece of the body in order, before it is written. False refuses
  // the download.
  virtual bool OnBytes(std::span<const std::uint8_t>) { return true; }
  // After each piece: the bytes so far and the announced total (-1 when
  // the repository announced none).
  virtual void OnProgress(std::uint64_t /*received*/, std::int64_t /*total*/) {}
  // Asked while the transfer runs, also while nothing arrives: true stops
  // it, and the installed file stays as it was.
  virtual bool CancelRequested() { return false; }
  // The content starts again from its first byte (the repository's file
  // changed while a broken download was retried): OnBytes will see it all
  // again. False refuses the download.
  virtual bool OnRestart() { return true; }
  // A line for the log (a patch used, or one that could not be used). The
  // observer that keeps no log leaves it on standard error.
  virtual void OnNote(const std::string& line);
  // The length the repository announces for the body (-1 when none),
  // before any of it is written. False refuses the download.
  virtual bool OnLength(long long /*length*/) { return true; }
  // The date the installed file gets and its recorded download date, when
  // the caller knows it better than the reply's Last-Modified does.
  virtual std::optional<DateValue> FileDate() { return std::nullopt; }
};

enum class DownloadError {
  NotAvailable,  // the repository does not hold the file (or sent under two bytes)
  Interrupted,   // no answer, or the connection broke off
  TooLarge,      // beyond the announced length or the configured maximum
  TooSlow,       // fewer bytes than the low-speed bound within its time
  Cancelled,     // the observer asked to stop
  Refused,       // the observer refused a piece
  StagingFile,   // the staging file could not be prepared or written
  Unverified,    // the bytes do not match the digest of the module's document,
                 // or the document gives none where one is required
};

struct DownloadFailure {
  DownloadError reason = DownloadError::Interrupted;
  // With StagingFile: the file system's failure; with Unverified: the
  // digest's (source "UpdateFile" both).
  std::optional<ErrorRecord> file;
};

// Downloads `remote_path` (repository form) into the staging file of the
// local file `target`. Nothing is created before the first byte arrives;
// on failure no staging file is left and the target is as it was. A
// connection that breaks off after some bytes keeps them as "<target>.part"
// (dated with the repository file's date); the download then tries twice
// more, and a later download of the same target, asking only for the rest
// while the repository's file keeps that date. The part goes once the
// target is replaced. No lock is held while the bytes arrive: the staged
// file holds only its own ".new" until it is replaced or dropped, and a
// download of a target whose ".new" another process holds waits for that
// one first.
Expected<StagedFile, DownloadFailure> DownloadToStaging(EngineContext& ctx, std::string_view target,
                                                        std::string_view remote_path,
                                                        DownloadObserver* observer = nullptr);

// The same for a module named in placeholder form ("{ESEGUIBILI}\Prog").
Expected<StagedFile, DownloadFailure> DownloadModuleToStaging(EngineContext& ctx, std::string_view module,
                                                              DownloadObserver* observer = nullptr);

// Puts the staged content in place of its target, with the date, the bits
// and the recorded download date of any replacement.
ReplaceResult ReplaceFromStaging(StagedFile staged);

}  // namespace tw
