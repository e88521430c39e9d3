#pragma once

#include <QLabel>
#include <optional>

namespace quillmote {

// The signal number on its own, rounded half away from zero, or "—" without a
// reading. Whoever places it adds the unit.
class DBMText : public QLabel {
    Q_OBJECT

public:
    explicit DBMText(QWidget* parent = nullptr);
    void setRssi(std::optional<double> rssi);
};

}  // namespace quillmote
