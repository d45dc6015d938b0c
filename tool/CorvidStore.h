// The job store as the job list tool uses it: 99 jobs of one model.
#pragma once
#include <windows.h>
#include <string>
#include "Taskstore.h"
#include "framework/ComPtr.h"

// Created with class context 23 and prepared: SetMaxJobs(99),
// SetModelIndex(0), SetModel(model), Load. Raises CComError.
CComPtr<IJobStore> OpenCorvidStore(const std::string& model);
