// The annotation tools' part of painting and the text box. The shapes and
// the text box come with the tools themselves; until then a stroke burns in
// the region unchanged.
#include "annotate/annotate.h"

namespace kv {

void DrawLiveShape(HDC) {}
void PrepareTextBox() {}
void PlaceTextBox(Point) {}
void CommitText() {}

}  // namespace kv
