#include "line_writer.h"

namespace voderer {

Flag SaveTextToFile(Platform& platform, const std::wstring& FileFullPath, const std::wstring& sText,
                    Flag Overwrite) {
  Flag result = kFalse;
  int file_number = 0;
  try {
    file_number = platform.FreeFile();
    platform.Open(file_number, FileFullPath,
                  Overwrite != 0 ? FileMode::kOutput : FileMode::kAppend);
    platform.PrintLine(file_number, sText);
    result = kTrue;
  } catch (...) {
    // The trap's target: close what may be open and report through the
    // result. A failure of this close is not trapped again.
    platform.Close(file_number);
    return result;
  }
  try {
    platform.Close(file_number);
  } catch (...) {
    // The trap covers the close too and runs it once more; the line is
    // already written, so the result stays true.
    platform.Close(file_number);
  }
  return result;
}

}  // namespace voderer
