#pragma once

// The main window: the status display, the device address entry, the relay and tone panel
// and the three picture buttons. It holds no protocol logic: Render() shows the main-window
// state that the core keeps in the context, and the handlers forward clicks to the core.

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "shell/colors.h"

class QComboBox;
class QEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace kstbell {

struct TContext;
class IHostServices;
class TPictureButton;
class TShape;
class TStatusBar;
class TForm2;

inline constexpr const char* kMainWindowCaption = "KST-Bell-QZ V1.0(20201021)";
inline constexpr int kClientWidth = 386;
inline constexpr int kClientHeight = 248;

// Turns a colour of the window state into a Qt colour; system colours come from the
// application's palette.
QColor ToQColor(TColor color);

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    TForm1(TContext& ctx, IHostServices& host, QWidget* parent = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Shows the window state of the context in the controls, and in the setup window while
    // it is open.
    void Render();

    // Window events. Each runs through RunHandler.
    void FormActivate();
    void Image1Click();  // Setup
    void Image2Click();  // Refresh
    void Image3Click();  // Find me
    void SpeedButton4Click();
    void SpeedButton5Click();
    void Timer3Timer();

    // Runs one event handler: an error it raises is shown in the standard error box and the
    // program goes on; the window shows the resulting state afterwards.
    void RunHandler(const std::function<void()>& handler);

    QTimer& Timer3() { return timer3_; }
    TForm2& Setup() { return *form2_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void BuildControls();
    void ConnectControls();
    void PlaceStatusBars();
    void ShowError(const std::string& message);

    TContext& ctx_;
    IHostServices& host_;

    QGroupBox* groupBox3_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* label5_ = nullptr;
    QLabel* label12_ = nullptr;
    QLabel* label6_ = nullptr;
    QLineEdit* edit2_ = nullptr;
    QToolButton* speedButton5_ = nullptr;
    TPictureButton* image1_ = nullptr;
    TPictureButton* image3_ = nullptr;
    TPictureButton* image2_ = nullptr;
    QGroupBox* groupBox1_ = nullptr;
    QLabel* label14_ = nullptr;
    TShape* shape6_ = nullptr;
    QFrame* panel1_ = nullptr;
    QLabel* label1_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
    QLabel* label8_ = nullptr;
    TShape* shape1_ = nullptr;
    QToolButton* speedButton4_ = nullptr;
    TStatusBar* statusBar1_ = nullptr;
    TStatusBar* statusBar2_ = nullptr;
    TStatusBar* statusBar3_ = nullptr;
    QPlainTextEdit* memo1_ = nullptr;
    QLabel* simulatedMarker_ = nullptr;
    QTimer timer3_;
    // The setup window: created hidden right after this window's controls, shown modally.
    TForm2* form2_ = nullptr;

    // What the state held when it was last shown, so that a render does not overwrite what
    // the operator is typing unless the core changed the text.
    std::string shownEdit2_;
    std::string shownComboBox1_;
    bool editsShown_ = false;
    std::uint64_t shownMemoLines_ = 0;  // trace lines appended when last shown
};

}  // namespace kstbell
