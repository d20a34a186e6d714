// The error numbers the supervisor and its window write to the error log,
// in one place.
#pragma once

namespace fg::supervisor_errors {
inline constexpr long ReceiveLinesFailed = 40001;
inline constexpr long MakerScheduleFailed = 40522;
inline constexpr long EdiScheduleFailed = 40523;
inline constexpr long AlreadyRunning = 40030;
inline constexpr long StartFailed = 40049;
inline constexpr long StaleRunMarker = 40031;
inline constexpr long RunMarkerBound = 40032;
inline constexpr long ObjectDidNotStop = 40033;
inline constexpr long BadEndValue = 40034;
inline constexpr long ErrorEvent = 40035;
inline constexpr long HelperEnded = 40036;
inline constexpr long LeftoverHelper = 40037;
inline constexpr long SendsTakenOver = 40038;
inline constexpr long ReceiptsOwed = 40039;
inline constexpr long AbandonedDocuments = 40040;
}  // namespace fg::supervisor_errors
