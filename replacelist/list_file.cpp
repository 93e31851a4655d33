#include "replacelist/list_file.h"

#include <utility>

#include "platform/staged_file.h"

namespace vx {

using platform::File;
using platform::SysError;

namespace {

constexpr SysError kFileNotFound = 2;
constexpr SysError kPathNotFound = 3;

}  // namespace

FileError ToFileError(const ListFileError& error) {
  if (error.read_failure) return FileError(FileErrorKind::kGeneric, error.name, error.code);
  return FileError(error.code, error.name);
}

ListFileError ReadReplaceListTexts(std::vector<std::string>* texts, const std::string& name, CodePage held,
                                   std::vector<std::size_t>* inexact) {
  texts->clear();
  if (inexact != nullptr) inexact->clear();
  SysError open_error = platform::kOk;
  File file = File::OpenReadShared(name, &open_error);
  if (!file.IsOpen()) {
    if (open_error == kFileNotFound || open_error == kPathNotFound) return {};  // no list yet
    return {open_error, name};
  }
  ListTexts read;
  const SysError read_error = ReadListFile(
      [&file](char* buffer, std::size_t n, std::size_t* got) { return file.Read(buffer, n, got); }, held, &read);
  file.Close();
  *texts = std::move(read.texts);
  if (inexact != nullptr) *inexact = std::move(read.inexact);
  if (read_error != platform::kOk) return {read_error, platform::FullPath(name), /*read_failure=*/true};
  return {};
}

ListFileError LoadReplaceListColumns(ListColumns* columns, const std::string& name, CodePage held,
                                     std::vector<std::size_t>* inexact) {
  std::vector<std::string> texts;
  ListFileError error = ReadReplaceListTexts(&texts, name, held, inexact);
  *columns = PairTextsForComboBoxes(texts);
  if (!error.read_failure) return {};  // opened and read whole, or not opened: nothing to tell
  return error;
}

ListFileError LoadReplaceListRows(std::vector<ListPair>* rows, const std::string& name, CodePage held,
                                  std::vector<std::size_t>* inexact) {
  std::vector<std::string> texts;
  ListFileError error = ReadReplaceListTexts(&texts, name, held, inexact);
  *rows = PairTextsForEditor(texts);
  return error;
}

ListFileError SaveReplaceListRows(const std::vector<ListPair>& rows, const std::string& name, CodePage held) {
  // Saving goes through a new file, so it must refuse by itself what writing
  // into the file would have refused: a read-only file (also on POSIX, where
  // a rename passes over it, and for root), a folder in its place, and a
  // file another program holds open. Nothing has been written when this fails.
  platform::FileInfo info;
  if (SysError error = platform::CheckReplaceable(name, &info); error != platform::kOk) return {error, name};

  platform::StagedFile staged(name);
  if (SysError error = staged.Create(); error != platform::kOk) return {error, name};
  const std::string bytes = EncodeReplaceList(rows, held);
  SysError error = staged.file().Write(bytes.data(), bytes.size());
  if (error == platform::kOk) error = staged.Finish(/*durable=*/true);
  // The new list keeps what the user set on the old file (hidden, say).
  if (error == platform::kOk) error = staged.Commit();
  if (error != platform::kOk) return {error, platform::FullPath(name)};
  return {};
}

}  // namespace vx
