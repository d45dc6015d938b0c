// The job list tool starts the job runner with this switch, followed by the
// folder of a recovered job, to deliver that job's pages again instead of
// scanning.
#pragma once

namespace vlm {

constexpr const char kDeliverRecoveredSwitch[] = "/DeliverRecovered:";

} // namespace vlm
