#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace quillmote {

// The few text styles the detail panes share, expressed in Qt terms.

// Quieter text: labels of rows, captions, notes.
QColor secondaryColor(const QPalette& palette);
void makeSecondary(QWidget& widget);

// Relative to the widget's own font, so the user's font size carries through.
QFont headlineFont(const QFont& base);
QFont captionFont(const QFont& base);
QFont calloutFont(const QFont& base);
QFont titleFont(const QFont& base);  // a second-level title
QFont monospacedFont(const QFont& base);

// A label for text that may come from a radio or a file: never read as markup,
// selectable, wrapped at the width it is given.
QLabel* textLabel(const QString& text, QWidget* parent = nullptr);

// A titled column laid out in `owner`: a headline, then what is added after it,
// `spacing` apart.
QVBoxLayout* titledColumn(QWidget* owner, const QString& title, int spacing);

}  // namespace quillmote
