#include "jobs/job_numbers.h"

#include "platform/clock.h"
#include "platform/error.h"

#include <chrono>

namespace fg::jobs {

std::string JobNumbers::reserve(const std::string& suffix) {
    using namespace std::chrono;
    for (int tried = 0; tried < kSecondsTried; ++tried) {
        const system_clock::time_point now = clock().now();
        const std::string number = timeStamp14(now) + suffix;
        if (reservations_.reserve(number)) return number;
        // On to the next whole second.
        const system_clock::time_point next = floor<seconds>(now) + seconds(1);
        for (auto t = clock().now(); t < next; t = clock().now()) clock().sleepFor(ceil<milliseconds>(next - t));
    }
    throw Error(errnum::PermissionDenied, "帳票管理番号 (末尾 " + suffix + ") を " + std::to_string(kSecondsTried) +
                                              " 秒のあいだ予約できませんでした");
}

}  // namespace fg::jobs
