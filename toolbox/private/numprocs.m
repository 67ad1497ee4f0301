function n = numprocs()
% Processors available, in either host.
  if exist('nproc') ~= 0
    n = nproc();
  else
    n = feature('numcores');
  end
end
