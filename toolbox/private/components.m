function comps = components(N, ri, ci)
% The connected components with two or more variables of the graph with
% edges (ri, ci), each listed in an order of small bandwidth so that the
% entries of a block of columns reach few other blocks.
  A = sparse([ri; ci; (1:N)'], [ci; ri; (1:N)'], 1, N, N);
  % With a full diagonal, the blocks of the Dulmage-Mendelsohn form of a
  % symmetric pattern are its connected components.
  [p, ~, r] = dmperm(A);
  sizes = diff(r);
  comps = {};
  for b = find(sizes > 1)
    members = sort(p(r(b):r(b + 1) - 1));
    order = symrcm(A(members, members));
    comps{end + 1} = members(order); %#ok<AGROW>
  end
end
