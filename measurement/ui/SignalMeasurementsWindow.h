#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <vector>

#include "measurement/MeasurementReport.h"
#include "measurement/SonogramPicture.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace ringlark::ui {

// The selected message's sonogram, as large as its place in the window:
// darker is louder, with its axes and the measured mark and space
// frequencies as red lines named in a legend.
class SonogramView : public QWidget {
  public:
    explicit SonogramView(QWidget* parent = nullptr);
    void ShowMessage(const Bytes* image, const TMeasuredMessage* message);
    // The picture as painted at the present size.
    QImage Picture();
    const TSonogramPlot& Plot() const { return plot_; }
    const TSonogram& Sonogram() const { return sonogram_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Recompute();

    const Bytes* image_ = nullptr;
    const TMeasuredMessage* message_ = nullptr;
    TSonogramPlot plot_;
    TSonogram sonogram_;
    QImage spectrum_;
    std::vector<TSonogramPrimitive> frame_;
};

// SignalMeasurementsWindow: the measurements of each message in the recording
// the analyst loaded, each value beside its limit, PASS in green and FAIL in
// red.
class SignalMeasurementsWindow : public QDialog {
  public:
    explicit SignalMeasurementsWindow(QWidget* parent = nullptr);

    // Measures the recording (an 8-bit 44100/s image whose samples were
    // multiplied by scale.Gain) and shows the first message.
    void ShowRecording(const Bytes& image, const TMeasureScale& scale = {});
    void ShowMessage(int index);

    QComboBox* messageBox = nullptr;
    QTableWidget* measureTable = nullptr;
    QLabel* summaryLabel = nullptr;
    SonogramView* sonogramView = nullptr;

  private:
    std::vector<TMeasuredMessage> report_;
    Bytes image_;
};

}  // namespace ringlark::ui
