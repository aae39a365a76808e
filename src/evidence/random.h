// Uniform and Gaussian random deviates for the randomised trace estimates.
// Both keep their state in function-local statics and share the caller's seed cell.
#pragma once

// Next uniform deviate in (0, 1): Park-Miller minimal standard generator (Schrage's factorisation)
// behind a 32-entry Bays-Durham shuffle table. A seed cell of 0 or below restarts the sequence.
float ran1(long* idum);

// Next standard normal deviate (Marsaglia polar method): each accepted point yields two deviates,
// one returned at once and one kept for the next call. Draws its uniforms from ran1(idum).
float gasdev(long* idum);
