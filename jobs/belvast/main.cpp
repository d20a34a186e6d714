// belvast: the test-fax job program. Started with the fax number.
#include "jobs/belvast/make_test_fax_ctl.h"

int main(int argc, char** argv) {
    using namespace fg::jobs;
    return runFaxJob(MakeTestFaxCtl::kProgram, false, argc, argv, [](fg::EventPump& pump, const JobCommandLine& line) {
        auto job = std::make_unique<MakeTestFaxCtl>(pump);
        job->setStrFaxNo(line.faxNo);
        return job;
    });
}
