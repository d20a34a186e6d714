// The error numbers of the telephone request handling. Other failures are
// logged with the number they came with (a job program that is missing, say,
// with the platform's "file not found").
#pragma once

namespace fg::telephony::errs {

// A decision failed: the management number vanished between its checks
// ("ユーザ・確定状態のチェック"), the answer could not be built or uploaded
// ("回答データ作成失敗"), or anything else went wrong within it; also an
// uploaded answer whose record could not be marked decided.
inline constexpr long DecisionFailed = 40502;
// A test fax could not be requested.
inline constexpr long TestFaxFailed = 40516;
// The confirmation of an order sheet could not be recorded
// ("注文書確認フラグのセットに失敗"), or anything else went wrong within it.
inline constexpr long OrderConfirmFailed = 40519;

}  // namespace fg::telephony::errs
