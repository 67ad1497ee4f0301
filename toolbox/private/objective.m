function F = objective(s, Tv, lambda)
% -log det Theta + trace(S*Theta) + lambda*sum(abs(Theta(:))), with log det
% from the state's factor of this Theta. Off-diagonal entries count twice.
  w = 1 + (s.Fr ~= s.Fc);
  F = -s.logdet + sum(w .* s.Sv .* Tv) + lambda * sum(w .* abs(Tv));
end
