#include "app/framework/controls.h"

#include <vector>

namespace veldra {

std::string CComboBox::GetLBText(int index) const {
    LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace veldra
