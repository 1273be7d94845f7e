#pragma once
// Whether an SVG may be drawn from its own bytes without reaching any other
// file. The toolkit's renderer opens what an <image> names (a file of the
// user's drawn into an icon, or a FIFO that never answers) and reads the
// style sheet an xml-stylesheet instruction names. An icon needs neither.

#include <QByteArray>

namespace SvgCheck {

// True when the document parses, and everything it links stays inside it:
// an <image> only as a data: URL of a picture that is not itself an SVG,
// any other link only as "#id", and no xml-stylesheet instruction.
// Compressed documents are refused: they would be inflated unchecked.
bool selfContained(const QByteArray& svg);

} // namespace SvgCheck
