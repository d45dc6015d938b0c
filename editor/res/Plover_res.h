// Module resource ids (range 100-199).
#pragma once
