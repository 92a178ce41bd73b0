#include "patch/line_writer.h"

namespace voderer {

Flag SaveTextToFile(Files& files, const std::wstring& FileFullPath, const std::wstring& sText,
                    Flag Overwrite) {
  Flag result = kFalse;
  int file_number = 0;
  try {
    file_number = files.FreeFile();
    files.Open(file_number, FileFullPath, Overwrite != 0 ? FileMode::kOutput : FileMode::kAppend);
    files.PrintLine(file_number, sText);
    result = kTrue;
  } catch (...) {
    // The trap's target: close what may be open and report through the
    // result. A failure of this close is not trapped again.
    files.Close(file_number);
    return result;
  }
  try {
    files.Close(file_number);
  } catch (...) {
    // The trap covers the close too and runs it once more; the line is
    // already written, so the result stays true.
    files.Close(file_number);
  }
  return result;
}

}  // namespace voderer
