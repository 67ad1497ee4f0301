function F = objective(s, tv, lambda)
% -log det Theta + trace(S*Theta) + lambda*sum(abs(Theta(:))) for Theta
% holding tv at the tracked entries, with log det from the record's factor
% of that Theta. Off-diagonal entries count twice.
  w = 1 + (s.r ~= s.c);
  F = -s.logdet + sum(w .* s.sv .* tv) + lambda * sum(w .* abs(tv));
end
