// The program's run: options, inputs, pyramids, the coarse-to-fine loop and its outputs.
#pragma once

// Runs VorlaneRegMotion with the given command line; returns the process exit status: 0 a motion
// estimate was written (or no level ran), 1 the run was refused or failed (one line on standard
// error), 2 the outputs were written but the final motion is not an estimate (one line saying why).
int vorlaneRegMotionMain(int argc, char** argv);
