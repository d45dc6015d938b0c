// Resource ids of this group (range in res/README.md).
#pragma once
