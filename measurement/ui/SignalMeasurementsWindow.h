#pragma once

#include <QDialog>
#include <QImage>
#include <vector>

#include "measurement/MeasurementReport.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace ringlark::ui {

// SignalMeasurementsWindow: the measurements of each message in the recording
// the analyst loaded, each value beside its limit, PASS in green and FAIL in
// red.
class SignalMeasurementsWindow : public QDialog {
  public:
    explicit SignalMeasurementsWindow(QWidget* parent = nullptr);

    // Measures the recording (an 8-bit 44100/s image) and shows the first message.
    void ShowRecording(const Bytes& image);
    void ShowMessage(int index);

    // The selected message's sonogram: darker is louder, the measured mark
    // and space frequencies as red lines.
    static constexpr int SonogramWidth = 780;
    static constexpr int SonogramHeight = 160;
    const QImage& Sonogram() const { return sonogram_; }

    QComboBox* messageBox = nullptr;
    QTableWidget* measureTable = nullptr;
    QLabel* summaryLabel = nullptr;

  private:
    std::vector<TMeasuredMessage> report_;
    Bytes image_;
    QImage sonogram_;
    QLabel* sonogramLabel_ = nullptr;
};

}  // namespace ringlark::ui
