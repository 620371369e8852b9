#pragma once

// The setup window: Wi-Fi credentials, the station's static address, the WEB, Modbus TCP and
// location settings, the Wi-Fi mode and the device actions, with the transfer gauge along the
// bottom edge. It holds no protocol logic: Render() shows the setup-window state that the core
// keeps in the context, what the operator types and chooses goes straight back into that
// state, and the handlers forward events to the core.

#include <QDialog>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "shell/setup_window_state.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QShowEvent;

namespace kstbell {

struct TContext;
class IHostServices;
class TGauge;
class TPictureButton;

inline constexpr const char* kSetupWindowCaption = "KST.Setup";
inline constexpr int kSetupClientWidth = 705;
inline constexpr int kSetupClientHeight = 351;

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    TForm2(TContext& ctx, IHostServices& host, QWidget* parent = nullptr);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // Shows the setup-window state of the context in the controls.
    void Render();

    // Window events. Each runs through RunHandler.
    void FormActivate();
    void FormClose();
    void CheckBox1Click(bool checked);
    void Image2Click();   // access point credentials
    void Image3Click();   // station credentials
    void Image10Click();  // station static address
    void Image5Click();   // WEB login key
    void Image6Click();   // location
    void Image9Click();   // Modbus TCP
    void Image4Click();   // Wi-Fi mode
    void Image7Click();   // reset to default
    void Image1Click();   // firmware update
    void Image8Click();   // reboot

    // Runs one event handler: an error it raises is shown in the standard error box and the
    // program goes on; the windows show the resulting state afterwards.
    void RunHandler(const std::function<void()>& handler);

    void done(int result) override;

  Q_SIGNALS:
    // A handler of this window ran; the state of the other windows may have changed too.
    void HandlerFinished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // An edit bound to its place in the window state, with the text last shown from it.
    struct TEditBinding {
        QLineEdit* Edit = nullptr;
        TEditState TSetupWindowState::*State = nullptr;
        std::string Shown;
    };
    // A radio button bound to its flag in the window state.
    struct TRadioBinding {
        QRadioButton* Button = nullptr;
        bool TSetupWindowState::*State = nullptr;
    };
    struct TRadioGroup {
        QButtonGroup* Group = nullptr;
        std::vector<TRadioBinding> Buttons;
    };

    void BuildControls();
    void BuildApGroup();
    void BuildWebGroup();
    void BuildModbusGroup();
    void BuildLocationGroup();
    void BuildStationGroup();
    void BuildWifiModeGroup();
    void BuildBottomRow();
    void ConnectControls();

    QLineEdit* MakeEdit(QWidget* parent, const char* name, TEditState TSetupWindowState::*state,
                        QRect place);
    TPictureButton* MakeApplyImage(QWidget* parent, const char* name, const char* what, int left,
                                   int top);
    QRadioButton* MakeRadio(QWidget* parent, const char* name, const char* caption, int left,
                            int top);
    void AddRadioGroup(std::vector<TRadioBinding> buttons);
    void RenderRadioGroup(TRadioGroup& group);
    void WriteBackRadioGroup(const TRadioGroup& group, const QAbstractButton* checked);

    TContext& ctx_;
    IHostServices& host_;

    QGroupBox* groupBox1_ = nullptr;
    QGroupBox* groupBox2_ = nullptr;
    QGroupBox* groupBox3_ = nullptr;
    QGroupBox* groupBox4_ = nullptr;
    QGroupBox* groupBox5_ = nullptr;
    QGroupBox* groupBox6_ = nullptr;
    QFrame* panel1_ = nullptr;
    QLabel* label10_ = nullptr;
    QLabel* label11_ = nullptr;
    QLabel* label12_ = nullptr;
    QCheckBox* checkBox1_ = nullptr;
    TPictureButton* image2_ = nullptr;
    TPictureButton* image3_ = nullptr;
    TPictureButton* image10_ = nullptr;
    TPictureButton* image4_ = nullptr;
    TPictureButton* image5_ = nullptr;
    TPictureButton* image6_ = nullptr;
    TPictureButton* image9_ = nullptr;
    TPictureButton* image7_ = nullptr;
    TPictureButton* image1_ = nullptr;
    TPictureButton* image8_ = nullptr;
    TGauge* cGauge1_ = nullptr;

    std::vector<TEditBinding> edits_;
    std::vector<TRadioGroup> radioGroups_;
    // Until the first render every edit takes its text from the state.
    bool editsShown_ = false;
    // The close handler is under way: a second close request meanwhile does not repeat it.
    bool closing_ = false;
};

}  // namespace kstbell
