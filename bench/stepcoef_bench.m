1;
% stepcoef beside the vectorised Octave expression, on X, V, H and G of
% 10^6 entries and P and Q of 2.5*10^5 entries each (5*10^5 positions).


function [quad, lin, xs, vs] = coef_ref (X, V, H, G, P, Q)
  xs = [2 * X(P); X(Q)];
  vs = [2 * V(P); V(Q)];
  e = [P; Q];
  lin = sum (G(e) .* vs);
  quad = 0.5 * sum (H(e) .* vs);
end

n = 1e6;
randn ('seed', 7); rand ('seed', 7);
X = randn (n, 1); V = randn (n, 1); H = randn (n, 1); G = randn (n, 1);
perm = randperm (n)';
P = perm(1:2.5e5); Q = perm(2.5e5+1:5e5);
[q1, l1, x1, v1] = stepcoef (X, V, H, G, P, Q);
[q2, l2, x2, v2] = coef_ref (X, V, H, G, P, Q);
tm = best_time (@() stepcoef (X, V, H, G, P, Q), 9);
tr = best_time (@() coef_ref (X, V, H, G, P, Q), 9);
% Bytes: the lists once, four gathered doubles per position, two outputs.
gb = (5e5 * (8 + 4 * 8 + 2 * 8)) / tm / 1e9;
printf ('5e5 positions: stepcoef %6.2f ms   Octave expression %6.2f ms   ratio %5.1fx   (%.1f GB/s counted, membw %.1f GB/s; xs, vs equal: %d, lin difference %.1e)\n', ...
        1e3 * tm, 1e3 * tr, tr / tm, gb, membw (256), isequal (x1, x2) && isequal (v1, v2), abs (l1 - l2));
