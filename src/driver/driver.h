// The program's run: options, inputs, pyramids, the coarse-to-fine loop and its outputs.
#pragma once

// Runs VorlaneRegMotion with the given command line; returns the process exit status.
int vorlaneRegMotionMain(int argc, char** argv);
