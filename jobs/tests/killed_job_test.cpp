// A job program killed between storing its records and handing its forms
// over: the supervisor's sweep takes back what no fax-send server and no
// send log has.
#include "job_fixture.h"

#include "documents/quillary/fax_tran_xml.h"
#include "fax_images/pellior/print_start_file.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/morvane/send_handover.h"
#include "platform/file_lock.h"
#include "platform/process/process.h"

#include <signal.h>

namespace fg::testing {
namespace {

using namespace std::chrono_literals;

class KilledJob : public JobHome {};

TEST_F(KilledJob, RecordsOfFormsNeverHandedOverAreTakenBackUnlessTheSendLogHasThem) {
    // The job stops at its first page, waiting for the print this test
    // holds, with its records stored and its layouts copied.
    home.write("waits.xml", "<Waits><PrintStart>6000000</PrintStart></Waits>");
    FileLock printing = FileLock::tryLock(PrintStartFile::path());
    ASSERT_TRUE(printing.held());
    const std::set<std::string> before = recordNumbers();
    Process job = Process::start(programDir() + "pomrik", {kSupplierFax + ",3"});
    std::vector<std::string> made;
    ASSERT_TRUE(eventually([&] {
        made = newRecords(before);
        return made.size() == 2 && files("ExcelLayout", made[0] + ".*").size() == 1 &&
               files("ExcelLayout", made[1] + ".*").size() == 1;
    }));
    ::kill(job.pid(), SIGKILL);
    ASSERT_TRUE(job.waitFor(20000ms));
    printing.unlock();

    // Faxed under the first number all the same (a send the job's server
    // finished): that record stays.
    FaxSendCareers sent;
    sent.setStrRepManageNo(made[0]);
    sent.setStrRepType("見積書");
    ASSERT_TRUE(sent.setSendCareer());

    const auto cleared = documents::clearAbandonedNumbers(send_handover::numbersHeld);
    EXPECT_EQ(cleared.recorded, std::vector<std::string>{made[1]});
    EXPECT_EQ(newRecords(before), std::vector<std::string>{made[0]});
    for (const char* key : {"FaxSendXML", "ExcelLayout", "Msf", "Bitmap", "G3Image", "Jpg"})
        EXPECT_EQ(files(key, made[1] + "*"), std::vector<std::string>{}) << key;
    EXPECT_EQ(files("ExcelLayout", made[0] + ".*").size(), 1u);
    EXPECT_EQ(fs::list(home.folder("FaxManageNum"), "*.reserved*"), std::vector<std::string>{});
    // Once: the next sweep finds nothing.
    EXPECT_EQ(documents::clearAbandonedNumbers(send_handover::numbersHeld).recorded, std::vector<std::string>{});
}

}  // namespace
}  // namespace fg::testing
