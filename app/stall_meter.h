#pragma once
// StallMeter: how long the GUI thread's event loop was kept from running. A
// 5 ms timer on the GUI thread notes how late each of its ticks comes.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace sn::app {

class StallMeter final : public QObject {
    Q_OBJECT
  public:
    explicit StallMeter(QObject* parent = nullptr);
    void Start();
    void Stop();
    // The longest time the loop was held up, in ms, since Start.
    qint64 LongestStallMs() const { return longest_; }

  private:
    static constexpr int kPeriodMs = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

}  // namespace sn::app
