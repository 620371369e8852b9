#pragma once

// Small widgets the main window is built from: a filled rectangle with an outline, a picture
// that acts as a button, and a status bar of fixed-width text panels.

#include <QAbstractButton>
#include <QColor>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <initializer_list>
#include <vector>

namespace kstbell {

// A rectangle filled with one colour and outlined with another, one pixel wide. What it shows
// is told to screen readers as "on" or "off".
class TShape : public QWidget {
    Q_OBJECT
  public:
    explicit TShape(QWidget* parent);
    void SetColors(const QColor& brush, const QColor& pen);
    void SetOn(bool on);
    QColor BrushColor() const { return brush_; }
    QColor PenColor() const { return pen_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor brush_;
    QColor pen_;
};

// A group frame drawn as a thin line with the caption set into its top edge, on the window's
// background.
class TGroupBox : public QGroupBox {
    Q_OBJECT
  public:
    TGroupBox(const QString& caption, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A 24 x 24 picture that reacts to clicks; drawn greyed while disabled. The hint is its
// tooltip. Tab reaches it, Space or Enter clicks it, and a dotted frame shows the focus.
class TPictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    TPictureButton(QWidget* parent, const QIcon& picture);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A form of a fixed client size with its caption, font and a white background.
void MakeFixedWhiteForm(QWidget* form, int width, int height, const char* caption,
                        const QFont& font);

// Gives a control its hint (the tooltip) and what a screen reader says of it: its name and
// what it does.
void Describe(QWidget* widget, const QString& hint, const QString& name,
              const QString& description);

// Lets Tab reach a button and Enter click it, as Space already does.
void MakeKeyboardButton(QAbstractButton* button);

// A status bar: text panels side by side, each of a fixed width. Panel texts are plain text.
class TStatusBar : public QWidget {
    Q_OBJECT
  public:
    TStatusBar(QWidget* parent, std::initializer_list<int> panelWidths);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QLabel* Panel(int index) const { return panels_.at(static_cast<std::size_t>(index)); }
    QString PanelText(int index) const { return Panel(index)->text(); }
    void SetPanelText(int index, const QString& text);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlacePanels();

    std::vector<int> widths_;
    std::vector<QLabel*> panels_;
};

}  // namespace kstbell
