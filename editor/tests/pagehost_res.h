#pragma once
#define IDD_PAGEHOST 190
