#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <thread>

#include "analyst/LongRecording.h"
#include "core/Services.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace ringlark::ui {

// LongRecordingWindow: a recording too long for the waveform viewer, its
// messages listed as the scan finds them (TLongRecordingList holds what it
// shows). The scan runs on a thread of its own and reaches the window through
// the event loop; Cancel, closing the window or a new scan stops it. "Open in
// Viewer" (or a double click) loads a few seconds around the chosen message
// into the viewer and analyses it on the analyst tab.
class LongRecordingWindow : public QDialog {
  public:
    LongRecordingWindow(TAnalystTab& analyst, IErrorReporter& errors, QWidget* parent = nullptr);
    ~LongRecordingWindow() override;

    // Starts listing a recording's messages. Throws RinglarkError "Cannot open
    // file %s" when libsndfile cannot read it.
    void Scan(const std::string& path);
    // Opens the selected row's excerpt; OnOpened follows a load.
    void OpenSelected();
    // The main window shows the viewer, the analyst tab and the measurements.
    std::function<void()> OnOpened;
    // What runs on the window's thread: ScanRecording (a test gives its own).
    std::function<bool(const std::string&, const TScanCallbacks&)> ScanFunction =
        [](const std::string& path, const TScanCallbacks& callbacks) {
            return ScanRecording(path, callbacks);
        };

    const TLongRecordingList& Model() const { return model_; }

    QLabel* headingLabel = nullptr;  // why the recording is listed
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QTableWidget* table = nullptr;  // Time, Tag, Bytes, Fields
    QPushButton* openButton = nullptr;
    QPushButton* cancelButton = nullptr;

  protected:
    // Closed (or Escape): the scan stops.
    void hideEvent(class QHideEvent* event) override;

  private:
    int SelectedRow() const;  // -1: none
    void AddRow(const TLongRecordingRow& row);
    void Refresh();
    void Stop();

    TLongRecordingList model_;
    IErrorReporter& errors_;
    std::thread worker_;
};

}  // namespace ringlark::ui
