#include "engine/lead_bytes.h"

namespace vx {

LeadBytes LeadBytes::Cp932() {
  LeadBytes lead;
  lead.AddRange(0x81, 0x9F).AddRange(0xE0, 0xFC);
  return lead;
}

LeadBytes& LeadBytes::AddRange(std::uint8_t first, std::uint8_t last) {
  for (unsigned b = first; b <= last; ++b) {
    if (!table_[b]) {
      table_[b] = true;
      ++count_;
    }
  }
  return *this;
}

}  // namespace vx
