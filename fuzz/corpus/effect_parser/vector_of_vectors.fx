vector<vector<vector<float, 4>, 4>, 4> v;
