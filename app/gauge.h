#pragma once

// A flat progress bar without border: the done share is filled from the left in the bar
// colour, the rest shows the background.

#include <QColor>
#include <QWidget>

namespace kstbell {

// The filled share of a bar, 0 to 1, for a progress held within minValue..maxValue. A range
// of no width shows full once the progress has reached its maximum, empty before.
double GaugeFraction(int minValue, int maxValue, int progress);

class TGauge : public QWidget {
    Q_OBJECT
  public:
    explicit TGauge(QWidget* parent);

    void SetState(int minValue, int maxValue, int progress, const QColor& foreColor);
    double Fraction() const { return GaugeFraction(min_, max_, progress_); }
    // Width in pixels of the filled part at the current size.
    int FilledWidth() const;
    QColor ForeColor() const { return foreColor_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    QColor foreColor_{Qt::black};
};

}  // namespace kstbell
