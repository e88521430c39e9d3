#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/find/find_session.h"
#include "core/table/device_record.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quillmote {

class DBMText;
class Meter;

// The device rows a find view names, looked up by key; null when the row is gone.
using RecordLookup = std::function<const DeviceRecord*(const std::string& key)>;

// What a find session looks like: the number, the meter, the trend, what is going
// on and, when several devices could be the one, a button for each. It only
// presents; the owner acts on its signals.
class FindView : public QWidget {
    Q_OBJECT

public:
    static constexpr double quietOpacity = 0.35;
    static constexpr int padding = 28;

    explicit FindView(QWidget* parent = nullptr);

    void showSession(const FindSession& session, const RecordLookup& lookup);
    void setClicksEnabled(bool enabled);

    // A candidate button's text: the name (or the key when the row is gone), " · "
    // and the signal truncated to whole dBm, or "—" without one. Plain text, ready
    // for a button (an "&" stays an "&").
    static QString candidateLabel(const std::string& key, const DeviceRecord* record);

signals:
    void clicksToggled(bool enabled);
    void doneClicked();
    void candidateChosen(const std::string& key);

private:
    QLabel* title_;
    QWidget* reading_;
    DBMText* number_;
    Meter* meter_;
    QLabel* trendIcon_;
    QLabel* trend_;
    QLabel* proximity_;
    QLabel* status_;
    QWidget* candidates_;
    QVBoxLayout* candidateList_;
    std::vector<QPushButton*> candidateButtons_;
    std::vector<std::string> candidateKeys_;
    QCheckBox* clicks_;
    QPushButton* done_;

    void showTrend(TrendDirection trend);
    void showStatus(const FindSession::Status& status, const RecordLookup& lookup);
    void showCandidates(const std::vector<std::string>& keys, const RecordLookup& lookup);
    void setColour(QLabel* label, const QColor& colour);
    // The width a line of text may take inside the padding.
    int textRoom() const;
};

}  // namespace quillmote
