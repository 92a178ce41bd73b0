#include <memory>

#include "app/program.h"
#include "frontend/error_box.h"
#include "frontend/window.h"
#include "platform/system.h"
#include "texts/catalogue.h"
#include "texts/language.h"
#include "ui/main_window.h"

int voderer::app::ProgramMain() {
  SystemPlatform system;
  // Before anything shows a text: every box speaks the user's language.
  texts::UseLanguage(texts::ChooseLanguage(system.UserLanguages()));
  const std::unique_ptr<Dialogs> dialogs = frontend::CreateDialogs();
  const Services services{system.files(), system.launch(), *dialogs};
  try {
    const std::unique_ptr<frontend::MainWindow> window = frontend::CreateMainWindow(services);
    ui::Form1 form(services, window->Text1());
    return window->Run(form);
  } catch (const RuntimeError& error) {
    // The window itself could not be made: reported like any other error.
    dialogs->MsgBox(frontend::RuntimeErrorMessage(error), frontend::kApplicationTitle,
                    BoxIcon::error);
    return 1;
  }
}
