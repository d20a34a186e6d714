// sorvik: the order-balance job program. Started with the fax number.
#include "jobs/sorvik/request_order_ctl.h"

int main(int argc, char** argv) {
    using namespace fg::jobs;
    return runFaxJob(RequestOrderCtl::kProgram, false, argc, argv, [](fg::EventPump& pump, const JobCommandLine& line) {
        auto job = std::make_unique<RequestOrderCtl>(pump);
        job->setStrFaxNo(line.faxNo);
        return job;
    });
}
