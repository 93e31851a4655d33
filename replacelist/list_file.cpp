#include "replacelist/list_file.h"

#include "platform/staged_file.h"

namespace vx {

using platform::File;
using platform::SysError;

FileError ToFileError(const ListFileError& error) {
  if (error.read_failure) return FileError(FileErrorKind::kGeneric, error.name, error.code);
  return FileError(error.code, error.name);
}

ListFileError ReadReplaceListTexts(std::vector<std::string>* texts, const std::string& name) {
  SysError open_error = platform::kOk;
  File file = File::OpenReadExclusive(name, &open_error);
  if (!file.IsOpen()) return {};  // missing, held by another program, no access: an empty list
  const SysError read_error = ReadListTexts(
      [&file](char* buffer, std::size_t n, std::size_t* got) { return file.Read(buffer, n, got); }, texts);
  file.Close();
  if (read_error != platform::kOk) return {read_error, platform::FullPath(name), /*read_failure=*/true};
  return {};
}

ListFileError LoadReplaceListColumns(ListColumns* columns, const std::string& name) {
  std::vector<std::string> texts;
  ListFileError error = ReadReplaceListTexts(&texts, name);
  *columns = PairTextsForComboBoxes(texts);
  return error;
}

ListFileError LoadReplaceListRows(std::vector<ListPair>* rows, const std::string& name) {
  std::vector<std::string> texts;
  ListFileError error = ReadReplaceListTexts(&texts, name);
  *rows = PairTextsForEditor(texts);
  return error;
}

ListFileError SaveReplaceListRows(const std::vector<ListPair>& rows, const std::string& name) {
  // Saving goes through a new file, so it must refuse by itself what writing
  // into the file would have refused: a read-only file (also on POSIX, where
  // a rename passes over it, and for root), a folder in its place, and a
  // file another program holds open. Nothing has been written when this fails.
  platform::FileInfo info;
  if (SysError error = platform::CheckReplaceable(name, &info); error != platform::kOk) return {error, name};

  platform::StagedFile staged(name);
  if (SysError error = staged.Create(); error != platform::kOk) return {error, name};
  const std::string bytes = SerializeReplaceList(rows);
  SysError error = staged.file().Write(bytes.data(), bytes.size());
  if (error == platform::kOk) error = staged.Finish(/*durable=*/true);
  // The new list keeps what the user set on the old file (hidden, say).
  if (error == platform::kOk) error = staged.Commit();
  if (error != platform::kOk) return {error, platform::FullPath(name)};
  return {};
}

}  // namespace vx
