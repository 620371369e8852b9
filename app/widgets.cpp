#include "app/widgets.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <algorithm>

namespace kstbell {

TShape::TShape(QWidget* parent) : QWidget(parent) {
    setAccessibleDescription(QStringLiteral("off"));
}

void TShape::SetOn(bool on) {
    const QString state = on ? QStringLiteral("on") : QStringLiteral("off");
    if (accessibleDescription() != state) setAccessibleDescription(state);
}

void TShape::SetColors(const QColor& brush, const QColor& pen) {
    if (brush == brush_ && pen == pen_) return;
    brush_ = brush;
    pen_ = pen;
    update();
}

void TShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), brush_);
    painter.setPen(pen_);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TGroupBox::TGroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void TGroupBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The frame line runs through the middle of the caption's line, with or without caption.
    const int top = metrics.height() / 2;
    painter.setPen(QColor(0xDC, 0xDC, 0xDC));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, top, -1, -1));
    if (title().isEmpty()) return;
    const int textWidth = metrics.horizontalAdvance(title());
    const QRect textArea(8, 0, textWidth + 4, metrics.height());
    painter.fillRect(textArea, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, title());
}

TPictureButton::TPictureButton(QWidget* parent, const QIcon& picture) : QAbstractButton(parent) {
    setIcon(picture);
    setIconSize(QSize(24, 24));
    setCursor(Qt::PointingHandCursor);
    // The keyboard reaches it; a mouse click does not take the focus from an edit.
    setFocusPolicy(Qt::TabFocus);
}

void TPictureButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isEnabled()) click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

QSize TPictureButton::sizeHint() const {
    return iconSize();
}

void TPictureButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    // A pressed picture moves by one pixel, as a hint that the click was taken.
    const QRect area = isDown() ? rect().translated(1, 1) : rect();
    icon().paint(&painter, area, Qt::AlignCenter, mode);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void MakeFixedWhiteForm(QWidget* form, int width, int height, const char* caption,
                        const QFont& font) {
    form->setFixedSize(width, height);
    form->setWindowTitle(QString::fromUtf8(caption));
    form->setFont(font);
    QPalette white = form->palette();
    white.setColor(QPalette::Window, Qt::white);
    form->setPalette(white);
    form->setAutoFillBackground(true);
}

void Describe(QWidget* widget, const QString& hint, const QString& name,
              const QString& description) {
    widget->setToolTip(hint);
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

namespace {

// Clicks the button it watches on Enter.
class TEnterClicks : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        auto* button = static_cast<QAbstractButton*>(watched);
        if (button->isEnabled()) button->click();
        return true;
    }
};

}  // namespace

void MakeKeyboardButton(QAbstractButton* button) {
    button->setFocusPolicy(Qt::TabFocus);
    button->installEventFilter(new TEnterClicks(button));
}

TStatusBar::TStatusBar(QWidget* parent, std::initializer_list<int> panelWidths)
    : QWidget(parent), widths_(panelWidths) {
    setAutoFillBackground(true);
    for (std::size_t i = 0; i < widths_.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(2);
        panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panels_.push_back(panel);
    }
    PlacePanels();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    QLabel* panel = Panel(index);
    if (panel->text() != text) panel->setText(text);
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlacePanels();
}

void TStatusBar::PlacePanels() {
    // Panels sit one pixel inside the bar with a two-pixel gap between them; a panel that
    // reaches past the right edge is cut off there.
    int left = 0;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        panels_[i]->setGeometry(left, 1, std::max(0, widths_[i] - 2), std::max(0, height() - 2));
        left += widths_[i];
    }
}

}  // namespace kstbell
