#pragma once

#include <QLabel>
#include <QString>

namespace quillmote {

// One line of plain text that shows as much as fits, ending in "…" when cut, with
// the whole text in its tooltip. It asks for the whole text's width but can be
// narrowed to nothing, so a long radio name never holds a pane wide.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString full_;

    void elide();
};

}  // namespace quillmote
