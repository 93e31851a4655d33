// The rewrite pass, streamed. The file is read once, in fixed-size chunks,
// through the replacement chain, whose last stage feeds a buffered writer
// into a temporary file beside the target; that file takes the target's name
// only once it is complete. The results are those of reading and rewriting
// the whole file once per alternative, at the cost of one read and one write
// (two reads for the rare file whose first piece misleads about its
// encoding or its line ends).
#include "engine/rewrite.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>

#include "engine/decode.h"
#include "engine/replace_chain.h"
#include "platform/file.h"
#include "platform/staged_file.h"

namespace vx {
namespace {

using platform::File;
using platform::kOk;
using platform::StagedFile;
using platform::SysError;

// The size of the reads, and of the pieces the chain's stages work on and
// hand on.
constexpr std::size_t kDefaultChunk = std::size_t{1} << 18;  // 256 KiB

// The end of the chain: writes into the temporary file (the chain hands on
// large pieces). After the first failure it swallows everything and keeps
// the error.
class Output : public ByteSink {
 public:
  Output(File* file, Sha256* hash) : file_(file), hash_(hash) {}
  void Put(const char* p, std::size_t n) override {
    if (hash_) hash_->Add(p, n);
    if (file_ && error_ == kOk) error_ = file_->Write(p, n);
  }
  SysError error() const { return error_; }

 private:
  File* file_;
  Sha256* hash_;
  SysError error_ = kOk;
};

bool Stopped(const RewriteOptions& options) { return options.cancel && options.cancel->load(); }

// What a pass over the file takes it to be: its encoding, and whether "\n"
// stands for LF alone (its line ends are all LF).
struct Guess {
  Encoding encoding = Encoding::kCodePage;
  bool lf = false;
  bool operator==(const Guess&) const = default;
};

Guess GuessOf(const EncodingDetector& detector, bool line_breaks) {
  return Guess{detector.encoding(), line_breaks && detector.lf_only()};
}

// Whether what the detector has found so far rules the guess out for good.
bool RulesOut(const EncodingDetector& detector, const Guess& guess, bool line_breaks) {
  return (detector.encoding_settled() && detector.encoding() != guess.encoding) ||
         (line_breaks && guess.lf && detector.line_ends_settled());
}

// The first piece of the file: `chunk` bytes, but no fewer than the four a
// byte-order mark is told by unless the file is shorter. *whole: that is
// the whole file.
SysError ReadHead(File& in, std::size_t chunk, std::string* head, bool* whole) {
  const std::size_t want = std::max<std::size_t>(chunk, 4);
  std::uint64_t size = 0;
  // A file shorter than a chunk needs a buffer of its size only (and one
  // more byte for the read that finds the end).
  head->resize(in.Size(&size) == kOk && size < want ? static_cast<std::size_t>(size) + 1 : want);
  std::size_t have = 0;
  *whole = false;
  while (have < head->size()) {
    std::size_t got = 0;
    if (const SysError e = in.Read(head->data() + have, head->size() - have, &got)) return e;
    if (got == 0) {
      *whole = true;
      break;
    }
    have += got;
  }
  head->resize(have);
  return kOk;
}

// Gives `from` a fresh temporary name beside `near`: a second name (a hard
// link), or its only name (a rename).
SysError PutAside(const std::string& from, const std::string& near, bool link, std::string* aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = platform::TempNameBeside(near);
    const SysError error = link ? platform::LinkFile(from, candidate) : platform::MoveFile(from, candidate);
    if (error == kOk) {
      *aside = candidate;
      return kOk;
    }
    if (error != platform::kErrorAlreadyExists && error != platform::kErrorFileExists) return error;
  }
  return platform::kErrorFileExists;
}

// The backup by renames, where the old file can have no second name: the
// old backup steps aside, the old file becomes the backup, the new content
// takes the name, and the old backup goes last. Every failure puts back
// what it can.
RewriteStatus StoreByRenames(StagedFile& staged, const std::string& backup, bool had_backup,
                             RewriteOutcome* outcome) {
  const std::string& path = staged.target();
  std::string old_backup;
  if (had_backup && PutAside(backup, backup, false, &old_backup) != kOk) return RewriteStatus::kBackupFailed;
  const auto put_back_old_backup = [&] {
    if (!old_backup.empty()) platform::MoveFile(old_backup, backup);
  };
  if (platform::MoveFile(path, backup) != kOk) {
    put_back_old_backup();
    return RewriteStatus::kBackupFailed;
  }
  if (platform::MoveFile(staged.temp_path(), path) != kOk) {
    if (platform::MoveFile(backup, path) == kOk) {
      put_back_old_backup();
      return RewriteStatus::kWriteFailed;
    }
    // The old content has no name but the backup's now: the log says so.
    outcome->kept_at = backup;
    if (!old_backup.empty()) platform::DeleteFile(old_backup);
    return RewriteStatus::kWriteFailed;
  }
  staged.Release();
  if (!old_backup.empty()) platform::DeleteFile(old_backup);
  outcome->backup = backup;
  return RewriteStatus::kDone;
}

// Gives the complete new content the target's name and keeps the old file
// as the backup.
RewriteStatus StoreWithBackup(StagedFile& staged, RewriteOutcome* outcome) {
  const std::string& path = staged.target();
  const std::string backup = path + kBackupSuffix;
  platform::FileInfo old_backup, target;
  // An old backup that cannot be replaced would leave a stale one looking
  // valid: the file is left alone instead.
  if (platform::CheckReplaceable(backup, &old_backup) != kOk) return RewriteStatus::kBackupFailed;
  if (platform::QueryFileInfo(path, &target) != kOk || !target.exists) return RewriteStatus::kWriteFailed;
  // The new file is a new file: it takes over who may read and change the old one.
  platform::CopyAccess(path, staged.temp_path());
  // The old file takes the backup's name as a second name, the old backup
  // keeping one of its own until the end; then the new content takes the
  // target's name. At every moment the target holds its old or its new
  // content and the backup the target's content before the new one (or the
  // old backup, before the swap), even if the process dies; a failure puts
  // the old backup back. (A read-only target cannot be replaced, and some
  // file systems have no second names: then the files are renamed.)
  std::string old_content;
  if (target.read_only || PutAside(path, backup, true, &old_content) != kOk)
    return StoreByRenames(staged, backup, old_backup.exists, outcome);
  std::string older;
  if (old_backup.exists && PutAside(backup, backup, true, &older) != kOk) {
    platform::DeleteFile(old_content);
    return RewriteStatus::kBackupFailed;
  }
  if (platform::ReplaceFile(old_content, backup) != kOk) {
    platform::DeleteFile(old_content);
    if (!older.empty()) platform::DeleteFile(older);
    return RewriteStatus::kBackupFailed;
  }
  if (platform::ReplaceFile(staged.temp_path(), path) != kOk) {
    // The old backup goes back; with none, the new one goes, as it came.
    if (older.empty()) {
      platform::DeleteFile(backup);
    } else if (platform::ReplaceFile(older, backup) != kOk) {
      platform::DeleteFile(older);  // the backup holds the file as it still is
    }
    return RewriteStatus::kWriteFailed;
  }
  staged.Release();
  if (!older.empty()) platform::DeleteFile(older);
  outcome->backup = backup;
  return RewriteStatus::kDone;
}

// ------------------------------------------------------------ the steps of a rewrite
//
// RewriteFile reads the file (OpenSource), matches and builds the new
// content as it reads (MatchAndBuild), decides the encoding once the whole
// file is read, which may send it round once more (DecideEncoding), checks
// what was built (FinishBuild), stages the content (StageContent) and
// commits it under the target's name (CommitContent).

// The file being read, and what its bytes have told so far.
struct Source {
  Source(std::string path, const std::vector<ReplacePair>& pairs, const FileReading& reading,
         const RewriteOptions& options)
      : path(std::move(path)),
        chunk(options.buffer_bytes ? options.buffer_bytes : kDefaultChunk),
        run(reading.detect ? CodePage::kAnsi : reading.texts),
        line_breaks(UsesLineBreak(pairs, reading.texts)),
        digests(options.digests || options.unchanged_since),
        detector(reading.detect) {}

  const std::string path;
  const std::size_t chunk;
  const CodePage run;       // the code page of a file found in no other encoding
  const bool line_breaks;   // whether "\n" in the texts depends on the file's line ends
  const bool digests;       // the digests of what is read and written are taken
  File in;
  std::string head;   // the first piece
  bool whole = false;  // the first piece is the whole file
  std::string spare;   // the pieces read while there is no chain to take them
  Sha256 read_hash;    // of what is read (a file read once more: from its start again)
  EncodingDetector detector;
  Guess guess;
};

// The end of the chain that a preview's copy goes through: to both.
struct Tee : ByteSink {
  Tee(ByteSink* a, ByteSink* b) : a(a), b(b) {}
  void Put(const char* p, std::size_t n) override {
    a->Put(p, n);
    b->Put(p, n);
  }
  ByteSink *a, *b;
};

// The new content as one pass over the file builds it: the texts as the
// file's encoding takes them, the chain that matches and replaces, and
// where its output goes (the temporary file, the digest, a preview's copy).
struct Build {
  Build(const std::vector<ReplacePair>& pairs, const FileReading& reading, const Source& source,
        const RewriteOptions& options)
      : code_page(CodePageOf(source.guess.encoding, source.run)),
        texts(TextsFor(pairs, reading.texts, code_page, source.guess.lf ? kLf : kCrLf, options.match)) {
    // A failure to create or fill the temporary file is reported only
    // once the whole file has been checked to be text.
    if (!options.dry_run && !texts.unrepresentable) staged.emplace(source.path).Create();
    out.emplace(staged && staged->IsOpen() ? &staged->file() : nullptr, source.digests ? &written_hash : nullptr);
    tee.b = &*out;
  }
  // A dry run with a preview sends a copy through the output, which then writes nothing.
  ByteSink* Sink(const RewriteOptions& options) {
    return options.dry_run && options.preview ? static_cast<ByteSink*>(&tee) : &*out;
  }

  const CodePage code_page;
  const FileTexts texts;
  std::optional<StagedFile> staged;
  Sha256 written_hash;
  std::optional<Output> out;
  StringSink preview;  // a dry run's output for a preview, handed on once the file is known
  Tee tee{&preview, nullptr};  // to the preview and the output
  std::optional<ReplaceChain> chain;
};

// Reads: opens the file and reads its first piece, which the encoding is
// first taken from.
RewriteStatus OpenSource(Source* source, const RewriteOptions& options) {
  SysError error = kOk;
  source->in = File::OpenReadExclusive(source->path, &error);
  if (!source->in.IsOpen()) return RewriteStatus::kOpenFailed;
  if (Stopped(options)) return RewriteStatus::kCancelled;
  if (ReadHead(source->in, source->chunk, &source->head, &source->whole) != kOk) return RewriteStatus::kOpenFailed;
  if (source->digests) source->read_hash.Add(source->head.data(), source->head.size());
  source->detector.Take(source->head.data(), source->head.size());
  if (source->whole) source->detector.Finish();
  if (source->detector.not_text()) return RewriteStatus::kNotText;
  source->guess = GuessOf(source->detector, source->line_breaks);
  return RewriteStatus::kDone;
}

// Matches and builds: the file, from its first piece on, through the chain
// into the build's output. While `checking`, every piece also goes through
// the detector first, and a piece that rules the guess out stops the chain
// (the rest is only read).
RewriteStatus MatchAndBuild(Source* source, Build* build, bool checking, const RewriteOptions& options) {
  if (!build->texts.unrepresentable) {
    ReplaceChain& chain = build->chain.emplace(build->texts, WalkOf(build->code_page), build->Sink(options),
                                               source->chunk);
    const std::size_t mark = std::min(MarkLength(source->guess.encoding), source->head.size());
    chain.PassOn(source->head.data(), mark);  // the mark is no text to search
    chain.Feed(source->head.data() + mark, source->head.size() - mark);
  }
  std::optional<ReplaceChain>& chain = build->chain;
  const std::size_t chunk = source->chunk;
  for (bool more = !source->whole; more;) {
    if (Stopped(options)) return RewriteStatus::kCancelled;
    char* at = chain ? chain->InputSpace(chunk) : (source->spare.resize(chunk), source->spare.data());
    std::size_t got = 0;
    if (source->in.Read(at, chunk, &got) != kOk) return RewriteStatus::kOpenFailed;
    if ((more = got != 0)) {
      if (source->digests) source->read_hash.Add(at, got);
      if (checking) {
        source->detector.Take(at, got);
        if (source->detector.not_text()) return RewriteStatus::kNotText;
        if (chain && RulesOut(source->detector, source->guess, source->line_breaks)) chain.reset();
      }
      if (chain) chain->Commit(got);
    }
  }
  return RewriteStatus::kDone;
}

// Decides the encoding, the whole file read: *again when it is not what
// the first piece said, the file then rewound to be read once more.
RewriteStatus DecideEncoding(Source* source, bool* again) {
  source->detector.Finish();
  if (source->detector.not_text()) return RewriteStatus::kNotText;
  const Guess known = GuessOf(source->detector, source->line_breaks);
  *again = known != source->guess;
  if (!*again) return RewriteStatus::kDone;
  source->guess = known;
  if (source->in.Rewind() != kOk || ReadHead(source->in, source->chunk, &source->head, &source->whole) != kOk)
    return RewriteStatus::kOpenFailed;
  source->read_hash = Sha256();
  if (source->digests) source->read_hash.Add(source->head.data(), source->head.size());
  return RewriteStatus::kDone;
}

// What was built, the file known: the count, the encoding and the digests
// in the outcome, or why it cannot be written.
RewriteStatus FinishBuild(Source* source, Build* build, const RewriteOptions& options, RewriteOutcome* outcome) {
  if (build->texts.unrepresentable) return RewriteStatus::kUnrepresentable;
  build->chain->Finish();
  source->in.Close();
  if (build->chain->too_complex()) return RewriteStatus::kTooComplex;
  if (source->digests) {
    outcome->read = source->read_hash.Finish();
    outcome->written = build->written_hash.Finish();
    if (options.unchanged_since && outcome->read != *options.unchanged_since)
      return RewriteStatus::kChangedSincePreview;
  }
  outcome->count = build->chain->count();
  outcome->encoding = source->guess.encoding;
  return RewriteStatus::kDone;
}

// Stages: the temporary file complete, with the target's time when asked.
RewriteStatus StageContent(Build* build, const RewriteOptions& options) {
  StagedFile& staged = *build->staged;
  if (!staged.IsOpen() || build->out->error() != kOk || staged.Finish(options.durable) != kOk)
    return RewriteStatus::kWriteFailed;
  if (Stopped(options)) return RewriteStatus::kCancelled;
  // The new file takes the old one's time before it takes its name, so
  // the name never stands for the new content with a new time.
  platform::FileTime modified;
  if (options.keep_times && (platform::GetModifiedTime(staged.target(), &modified) != kOk ||
                             platform::SetModifiedTime(staged.temp_path(), modified) != kOk))
    return RewriteStatus::kWriteFailed;
  return RewriteStatus::kDone;
}

// Commits: the staged content takes the target's name, the old file kept
// as the backup when one is asked for.
RewriteStatus CommitContent(StagedFile* staged, const RewriteOptions& options, RewriteOutcome* outcome) {
  if (options.make_backup) return StoreWithBackup(*staged, outcome);
  return staged->Commit() == kOk ? RewriteStatus::kDone : RewriteStatus::kWriteFailed;
}

}  // namespace

bool IsError(RewriteStatus status) {
  switch (status) {
    case RewriteStatus::kOpenFailed:
    case RewriteStatus::kNoMemory:
    case RewriteStatus::kNotText:
    case RewriteStatus::kUnrepresentable:
    case RewriteStatus::kWriteFailed:
    case RewriteStatus::kBackupFailed:
    case RewriteStatus::kNoBackup:  // a restore asked for that cannot be done
    case RewriteStatus::kTooComplex:
    case RewriteStatus::kChangedSincePreview:
    case RewriteStatus::kChangedSinceRun:
      return true;
    case RewriteStatus::kDone:
    case RewriteStatus::kAlreadyRewritten:
    case RewriteStatus::kBackupOfThisRun:
    case RewriteStatus::kCancelled:
    case RewriteStatus::kRestored:
      return false;
  }
  return true;
}

RewriteOutcome RewriteFile(const std::string& listed, const std::vector<ReplacePair>& pairs,
                           const FileReading& reading, const RewriteOptions& options) {
  RewriteOutcome outcome;
  const auto fail = [&outcome](RewriteStatus status) {
    outcome.status = status;
    outcome.count = 0;
    return outcome;
  };
  try {
    // The file is taken to be what its first piece says, and read once
    // through the chain made for that. The detector checks every piece
    // before the chain gets it; should the rest of the file prove the first
    // piece wrong, the chain's output is dropped (it never took the
    // target's name) and the file is read once more, now known.
    Source source(platform::FinalPath(listed), pairs, reading, options);
    if (const RewriteStatus status = OpenSource(&source, options); status != RewriteStatus::kDone) return fail(status);
    std::optional<Build> build;
    for (bool checking = !source.whole;; checking = false) {
      build.emplace(pairs, reading, source, options);
      if (build->texts.unrepresentable && !checking) return fail(RewriteStatus::kUnrepresentable);
      if (const RewriteStatus status = MatchAndBuild(&source, &*build, checking, options);
          status != RewriteStatus::kDone)
        return fail(status);
      if (!checking) break;
      bool again = false;
      if (const RewriteStatus status = DecideEncoding(&source, &again); status != RewriteStatus::kDone)
        return fail(status);
      if (!again) break;
    }
    if (const RewriteStatus status = FinishBuild(&source, &*build, options, &outcome); status != RewriteStatus::kDone)
      return fail(status);
    if (options.dry_run) {
      if (options.make_backup) outcome.backup = source.path + kBackupSuffix;
      if (options.preview) options.preview->Put(build->preview.text.data(), build->preview.text.size());
      return outcome;
    }
    if (const RewriteStatus status = StageContent(&*build, options); status != RewriteStatus::kDone)
      return fail(status);
    const RewriteStatus stored = CommitContent(&*build->staged, options, &outcome);
    return stored == RewriteStatus::kDone ? outcome : fail(stored);
  } catch (const std::bad_alloc&) {
    outcome = RewriteOutcome{};
    return fail(RewriteStatus::kNoMemory);
  }
}

namespace {

// Streams an open file through `put` (each piece also into the hash):
// false when it cannot be read.
template <class Put>
bool ReadAll(File& in, Sha256* hash, Put put) {
  if (!in.IsOpen()) return false;
  std::string buffer(kDefaultChunk, '\0');
  for (;;) {
    std::size_t got = 0;
    if (in.Read(buffer.data(), buffer.size(), &got) != kOk) return false;
    if (got == 0) return true;
    hash->Add(buffer.data(), got);
    if (!put(buffer.data(), got)) return false;
  }
}

}  // namespace

RewriteOutcome RestoreFromBackup(const std::string& listed, const RewriteOptions& options,
                                 const RestoreCheck* check) {
  RewriteOutcome outcome;
  const auto done = [&outcome](RewriteStatus status) {
    outcome.status = status;
    return outcome;
  };
  if (Stopped(options)) return done(RewriteStatus::kCancelled);
  try {
    // With a check, the file is read: one open finds its final name too.
    SysError error = kOk;
    File file = check ? File::OpenReadShared(listed, &error) : File();
    const std::string path = file.IsOpen() ? file.FinalPath(listed) : platform::FinalPath(listed);
    const std::string backup = path + kBackupSuffix;
    platform::FileInfo info;
    if (platform::QueryFileInfo(backup, &info) != kOk || !info.exists || info.directory)
      return done(RewriteStatus::kNoBackup);
    if (!check) {
      // The backup is the old file itself (its second name, or its only
      // one): a rename gives it back its name, with its own attributes and
      // times, and it is no backup any more.
      if (!options.dry_run && platform::ReplaceFile(backup, path) != kOk) return done(RewriteStatus::kWriteFailed);
      return done(RewriteStatus::kRestored);
    }
    Sha256 hash;
    {
      // The file must be what the run wrote: anything else is someone's work.
      if (!ReadAll(file, &hash, [](const char*, std::size_t) { return true; }))
        return done(RewriteStatus::kOpenFailed);
      if (hash.Finish() != check->file) return done(RewriteStatus::kChangedSinceRun);
      file.Close();
    }
    std::optional<StagedFile> staged;
    if (!options.dry_run && staged.emplace(path).Create() != kOk) return done(RewriteStatus::kWriteFailed);
    SysError written = kOk;
    File old_content = File::OpenReadShared(backup, &error);
    if (!ReadAll(old_content, &hash, [&](const char* p, std::size_t n) {
          if (staged) written = staged->file().Write(p, n);
          return written == kOk;
        }))
      return done(written == kOk ? RewriteStatus::kOpenFailed : RewriteStatus::kWriteFailed);
    outcome.read = hash.Finish();
    if (outcome.read != check->backup) return done(RewriteStatus::kChangedSinceRun);
    if (Stopped(options)) return done(RewriteStatus::kCancelled);
    if (staged) {
      // The backup's time, set through the open file: no second open.
      platform::FileTime modified;
      if (platform::GetModifiedTime(backup, &modified) != kOk || staged->file().SetModifiedTime(modified) != kOk ||
          staged->Finish(options.durable) != kOk || staged->Commit() != kOk)
        return done(RewriteStatus::kWriteFailed);
    }
    return done(RewriteStatus::kRestored);
  } catch (const std::bad_alloc&) {
    return done(RewriteStatus::kNoMemory);
  }
}

}  // namespace vx
