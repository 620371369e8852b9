#pragma once

class QApplication;

namespace kstbell {

class TForm1;

// When KSTBELL_SCREENSHOT names a file: after a delay (KSTBELL_SCREENSHOT_DELAY_MS, 1500 by
// default) a picture of the main window is saved there and its texts beside it (the same name
// with ".txt": the title, every label and status panel, and the font the labels got). When
// KSTBELL_SCREENSHOT_SETUP names a second file, the setup window is then opened as the Setup
// image opens it and saved there too. Then the program ends. This shows the windows where no
// one can look at them: without a display, or under another system's emulation.
void ArmScreenshot(QApplication& app, TForm1& window);

}  // namespace kstbell
