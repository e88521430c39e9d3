#include "ui/dbm_text.h"

#include "ui/device_text.h"

namespace quillmote {

DBMText::DBMText(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setRssi(std::nullopt);
}

void DBMText::setRssi(std::optional<double> rssi) { setText(dbmText(rssi)); }

}  // namespace quillmote
