#include "ui/shell/plain_window.h"

#include <algorithm>

#include "protocol/commands.h"
#include "ui/shell/text_table.h"

namespace vx::ui {

PlainWindow::PlainWindow(int languageNo) : languageNo(languageNo) {
    inputLamps.fill(ops::LampColor::White);
    caption = Text(ops::Msg::ProcessModule);
}

std::string PlainWindow::Text(ops::Msg m) const {
    return ui::Text(m, languageNo);
}

// The scroll bar's range and its change handler, which rewrites the panel
// only when the position really moves.
void PlainWindow::SetIdPosition(int position) {
    const int clamped = std::clamp(position, protocol::kMinModuleId, protocol::kMaxModuleId);
    if (clamped == idPosition)
        return;
    idPosition = clamped;
    idPanel = protocol::IdText(clamped);
}

protocol::ChannelFlags PlainWindow::Inputs() const {
    protocol::ChannelFlags lit{};
    std::transform(inputLamps.begin(), inputLamps.end(), lit.begin(),
                   [](ops::LampColor color) { return color == ops::LampColor::Yellow; });
    return lit;
}

}  // namespace vx::ui
