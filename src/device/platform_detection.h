// Which Windows family runs the tool, and through it the interactive choice of the drive.
#pragma once

// Runs only when no drive is stored: prints the version banner, sets use_vwin32 from the
// platform and lets the user pick a drive, which lands in selected_drive (or leaves it -1).
void choose_drive();
