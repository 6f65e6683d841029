#pragma once

namespace pelvaro {

// What every reader of the program says when its port fails, with the number
// of the port (printf style).
inline constexpr char kPortOpenFailure[] = "Konnte Schnittstelle Com %d nicht öffnen";
inline constexpr char kPortCloseFailure[] = "konnte Schnittstelle Com %d nicht schliessen";

} // namespace pelvaro
