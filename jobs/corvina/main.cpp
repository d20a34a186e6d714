// corvina: the re-send job program. Started with the fax number, a comma
// and the management number of the fax to send again.
#include "jobs/corvina/resend_stored_fax.h"

int main(int argc, char** argv) {
    using namespace fg::jobs;
    return runFaxJob(ResendStoredFax::kProgram, true, argc, argv, [](fg::EventPump& pump, const JobCommandLine& line) {
        auto job = std::make_unique<ResendStoredFax>(pump);
        job->setStrFaxNo(line.faxNo);
        job->setStrRepManageNo(line.argument);
        return job;
    });
}
